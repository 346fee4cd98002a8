#include <windows.h>

#include <utility>

#include "engine/target/win32/unique_handle.h"
#include "settings/file_system.h"

namespace corvane {
namespace {

// Wide calls take NUL-terminated texts; wchar_t is 16 bits here.
std::wstring terminated(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string fromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// Far above any settings file; a larger file is not one of ours.
constexpr LONGLONG kLargestFile = 1LL << 30;

}  // namespace

std::u16string executablePath() {
    // GetModuleFileNameW fills the buffer and cuts the name when it is too
    // small, so grow until the name fits with room to spare.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return {};
        if (length < size) return fromWide(buffer.data(), length);
        if (buffer.size() >= 32768) return fromWide(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool createDirectory(std::u16string_view path) { return CreateDirectoryW(terminated(path).c_str(), nullptr) != 0; }

std::optional<std::string> readFileBytes(std::u16string_view path) {
    UniqueHandle file(CreateFileW(terminated(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > kLargestFile) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(bytes.size() - done);
        if (!ReadFile(file.get(), bytes.data() + done, wanted, &read, nullptr)) return std::nullopt;
        if (read == 0) break;  // the file shrank meanwhile
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

void forEachSettingsFileCandidate(std::u16string_view folder, const std::function<void(const DirectoryEntry&)>& visit) {
    const std::wstring pattern = terminated(folder) + L"*.ini";
    WIN32_FIND_DATAW data{};
    const FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find) return;
    do {
        DirectoryEntry entry;
        entry.name = fromWide(data.cFileName, wcslen(data.cFileName));
        entry.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        visit(entry);
    } while (FindNextFileW(find.get(), &data));
}

}  // namespace corvane
