#include "engine/win32/target_process.h"

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

}  // namespace corvane
