#include "engine/win32/target_process.h"

#include <psapi.h>
#include <tlhelp32.h>

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
    handle_.reset(OpenProcess(kTargetAccess, FALSE, pid));
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

std::optional<std::uint64_t> fromModuleList(HANDLE process, const std::wstring& wanted, bool& listed) {
    listed = false;
    std::vector<HMODULE> modules(256);
    for (;;) {
        DWORD needed = 0;
        const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModulesEx(process, modules.data(), bytes, &needed, LIST_MODULES_ALL)) return std::nullopt;
        if (needed <= bytes) {
            modules.resize(needed / sizeof(HMODULE));
            break;
        }
        modules.resize(needed / sizeof(HMODULE) + 16);
    }
    listed = true;
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

}  // namespace

std::optional<std::uint64_t> TargetProcess::moduleBase(std::string_view name) {
    if (!handle_) return std::nullopt;
    const std::wstring wanted = widenGbk(name);
    bool listed = false;
    if (const auto base = fromModuleList(handle_.get(), wanted, listed)) return base;
    if (listed) return std::nullopt;
    return fromSnapshot(targetPid.load(), wanted);
}

}  // namespace corvane
