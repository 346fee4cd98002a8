#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "settings/file_system.h"
#include "settings/file_text.h"
#include "settings/native/native_path.h"

namespace corvane {

std::u16string executablePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        const auto used = static_cast<std::size_t>(length);
        if (used < buffer.size()) return utf8ToUtf16(std::string_view(buffer.data(), used));
        buffer.resize(buffer.size() * 2);
    }
}

bool createDirectory(std::u16string_view path) { return mkdir(nativePath(path).c_str(), 0777) == 0; }

std::optional<std::string> readFileBytes(std::u16string_view path) {
    const std::filesystem::path native = nativePath(path);
    std::error_code error;
    if (std::filesystem::is_directory(native, error)) return std::nullopt;
    std::ifstream in(native, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    return bytes;
}

void forEachSettingsFileCandidate(std::u16string_view folder, const std::function<void(const DirectoryEntry&)>& visit) {
    DIR* directory = opendir(nativePath(folder).c_str());
    if (directory == nullptr) return;
    while (const dirent* item = readdir(directory)) {
        DirectoryEntry entry;
        entry.name = utf8ToUtf16(item->d_name);
        visit(entry);
    }
    closedir(directory);
}

}  // namespace corvane
