#include "engine/target/win32/target_process.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvane {

unsigned nativeSystemBits() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const WORD arch = info.wProcessorArchitecture;
    return arch == PROCESSOR_ARCHITECTURE_AMD64 || arch == PROCESSOR_ARCHITECTURE_IA64 ? 64 : 32;
}

bool isNative64BitTarget(DWORD pid) {
    if (nativeSystemBits() != 64) return false;
    const UniqueHandle process(OpenProcess(kTargetAccess, FALSE, pid));
    if (!process) return false;
    BOOL wow64 = FALSE;
    IsWow64Process(process.get(), &wow64);
    return !wow64;
}

std::uint32_t TargetProcess::openTarget() {
    const DWORD pid = targetPid.load();
    // Full query rights let the memory scans list the target's regions; a
    // process that grants only the limited rights is still read.
    handle_.reset(OpenProcess(kTargetAccess | PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!handle_) handle_.reset(OpenProcess(kTargetAccess, FALSE, pid));
    const DWORD error = handle_ ? 0 : GetLastError();
    pointerWidth_ = isNative64BitTarget(pid) ? 8 : 4;
    // A null pid or handle must never read as success.
    return handle_ ? 0 : (error != 0 ? error : ERROR_INVALID_PARAMETER);
}

bool TargetProcess::readTarget(std::uint64_t address, void* buffer, std::size_t size) const {
    if (!handle_) return false;
    return ReadProcessMemory(handle_.get(), reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)), buffer,
                             size, nullptr) != FALSE;
}

namespace {

std::wstring widenGbk(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(936, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(936, 0, text.data(), size, wide.data(), length);
    return wide;
}

bool sameFileName(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool listModules(HANDLE process, std::vector<HMODULE>& modules) {
    modules.resize(256);
    for (;;) {
        DWORD needed = 0;
        const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModulesEx(process, modules.data(), bytes, &needed, LIST_MODULES_ALL)) return false;
        if (needed <= bytes) {
            modules.resize(needed / sizeof(HMODULE));
            return true;
        }
        modules.resize(needed / sizeof(HMODULE) + 16);
    }
}

std::optional<std::uint64_t> fromModuleList(HANDLE process, const std::wstring& wanted, bool& listed) {
    std::vector<HMODULE> modules;
    listed = listModules(process, modules);
    if (!listed) return std::nullopt;
    wchar_t name[MAX_PATH];
    for (HMODULE module : modules) {
        if (GetModuleBaseNameW(process, module, name, MAX_PATH) == 0) continue;
        if (sameFileName(wanted, name)) return reinterpret_cast<std::uintptr_t>(module);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> fromSnapshot(DWORD pid, const std::wstring& wanted) {
    // A snapshot taken while the target loads or unloads a module fails with
    // ERROR_BAD_LENGTH and may simply be taken again.
    UniqueHandle snapshot;
    for (int attempt = 0; attempt < 4 && !snapshot; ++attempt) {
        snapshot = UniqueHandle(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
        if (!snapshot && GetLastError() != ERROR_BAD_LENGTH) break;
    }
    if (!snapshot) return std::nullopt;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry))
        if (sameFileName(wanted, entry.szModule)) return reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
    return std::nullopt;
}

std::string narrowGbk(const wchar_t* text) {
    const int length = WideCharToMultiByte(936, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(936, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

constexpr DWORD kWritableProtection = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kReadableProtection = kWritableProtection | PAGE_READONLY | PAGE_EXECUTE_READ;

}  // namespace

std::vector<MemoryRegion> TargetProcess::readableRegions() {
    std::vector<MemoryRegion> regions;
    if (!handle_) return regions;
    std::uint64_t address = 0;
    MEMORY_BASIC_INFORMATION info{};
    while (VirtualQueryEx(handle_.get(), reinterpret_cast<LPCVOID>(static_cast<std::uintptr_t>(address)), &info,
                          sizeof info) == sizeof info) {
        const auto start = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(info.BaseAddress));
        const std::uint64_t size = info.RegionSize;
        if (size == 0 || start + size <= address) break;
        const DWORD protection = info.Protect;
        if (info.State == MEM_COMMIT && (protection & PAGE_GUARD) == 0 && (protection & kReadableProtection) != 0) {
            const bool writable = (protection & kWritableProtection) != 0;
            if (!regions.empty() && regions.back().end() == start && regions.back().writable == writable)
                regions.back().size += size;
            else
                regions.push_back({start, size, writable});
        }
        address = start + size;
    }
    return regions;
}

std::vector<ModuleImage> TargetProcess::moduleImages() {
    std::vector<ModuleImage> images;
    if (!handle_) return images;
    UniqueHandle snapshot;
    for (int attempt = 0; attempt < 4 && !snapshot; ++attempt) {
        snapshot = UniqueHandle(
            CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, GetProcessId(handle_.get())));
        if (!snapshot && GetLastError() != ERROR_BAD_LENGTH) break;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (snapshot)
        for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry))
            images.push_back(
                {narrowGbk(entry.szModule), reinterpret_cast<std::uintptr_t>(entry.modBaseAddr), entry.modBaseSize});
    // Under Wine the snapshot of a 32-bit target leaves out its 32-bit
    // modules; the module list has them.
    std::vector<HMODULE> modules;
    if (listModules(handle_.get(), modules)) {
        wchar_t name[MAX_PATH];
        for (HMODULE module : modules) {
            const auto start = reinterpret_cast<std::uintptr_t>(module);
            const bool known = std::any_of(images.begin(), images.end(),
                                           [&](const ModuleImage& image) { return image.start == start; });
            MODULEINFO info{};
            if (known || GetModuleBaseNameW(handle_.get(), module, name, MAX_PATH) == 0 ||
                !GetModuleInformation(handle_.get(), module, &info, sizeof info))
                continue;
            images.push_back({narrowGbk(name), start, info.SizeOfImage});
        }
    }
    std::sort(images.begin(), images.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    return images;
}

std::optional<std::uint64_t> TargetProcess::moduleBase(std::string_view name) {
    if (!handle_) return std::nullopt;
    const std::wstring wanted = widenGbk(name);
    bool listed = false;
    if (const auto base = fromModuleList(handle_.get(), wanted, listed)) return base;
    if (listed) return std::nullopt;
    return fromSnapshot(targetPid.load(), wanted);
}

}  // namespace corvane
