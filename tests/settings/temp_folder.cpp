#include "tests/settings/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace corvane {
namespace {

std::filesystem::path systemTempDirectory() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
    return std::filesystem::path(std::wstring(buffer, length));
#else
    return std::filesystem::temp_directory_path();
#endif
}

std::filesystem::path fsPath(std::u16string_view path) { return std::filesystem::path(std::u16string(path)); }

}  // namespace

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::filesystem::path base = systemTempDirectory();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "corvane-settings-" + std::to_string(random()) + "-" + std::to_string(counter++);
        root_ = base / name;
        if (std::filesystem::create_directory(root_)) {
            folder_ = root_.u16string();
            folder_ += static_cast<char16_t>(std::filesystem::path::preferred_separator);
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(root_, error);
}

std::u16string TempFolder::path(std::u16string_view name) const {
    std::u16string joined = folder_;
    joined += name;
    return joined;
}

std::u16string TempFolder::subfolder(std::u16string_view name) const {
    std::u16string joined = path(name);
    joined += folder_.back();
    return joined;
}

void TempFolder::writeBytes(std::u16string_view name, std::string_view bytes) const {
    std::ofstream out(fsPath(path(name)), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write a test file");
}

std::string TempFolder::readBytes(std::u16string_view name) const {
    std::ifstream in(fsPath(path(name)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TempFolder::makeFolder(std::u16string_view name) const { std::filesystem::create_directory(fsPath(path(name))); }

bool TempFolder::exists(std::u16string_view name) const {
    std::error_code error;
    return std::filesystem::exists(fsPath(path(name)), error);
}

}  // namespace corvane
