#include "ui/process_snapshot.h"

#include <tlhelp32.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "engine/target/win32/unique_handle.h"
#include "ui/process_name.h"

namespace corvane {
namespace {

using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using NtReadVirtualMemoryFn = LONG(WINAPI*)(HANDLE, const void*, void*, SIZE_T, SIZE_T*);

// The 64-bit layout, also for 32-bit processes, whose native block is read.
constexpr ULONG kProcessBasicInformation = 0;
constexpr std::size_t kBasicInformationSize = 48;
constexpr std::size_t kPebBaseOffset = 8;
constexpr std::size_t kPebSize = 936;
constexpr std::size_t kParametersPointerOffset = 0x20;
constexpr std::size_t kParametersSize = 1008;
constexpr std::size_t kCurrentDirectoryOffset = 0x38;  // length, maximum length, buffer at +8
constexpr std::size_t kDirectoryBufferBytes = 520;

template <typename Fn>
Fn ntdllFunction(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

template <typename T>
T fieldAt(const unsigned char* block, std::size_t offset) {
    T value{};
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

}  // namespace

std::string processCurrentDirectory(DWORD pid) {
    static const auto query = ntdllFunction<NtQueryInformationProcessFn>("NtQueryInformationProcess");
    static const auto read = ntdllFunction<NtReadVirtualMemoryFn>("NtReadVirtualMemory");
    if (query == nullptr || read == nullptr) return {};
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return {};

    std::array<unsigned char, kBasicInformationSize> basic{};
    if (query(process.get(), kProcessBasicInformation, basic.data(), static_cast<ULONG>(basic.size()), nullptr) < 0)
        return {};
    std::array<unsigned char, kPebSize> peb{};
    const auto pebAddress = fieldAt<std::uint64_t>(basic.data(), kPebBaseOffset);
    if (read(process.get(), reinterpret_cast<const void*>(pebAddress), peb.data(), peb.size(), nullptr) < 0) return {};
    std::array<unsigned char, kParametersSize> parameters{};
    const auto parametersAddress = fieldAt<std::uint64_t>(peb.data(), kParametersPointerOffset);
    if (read(process.get(), reinterpret_cast<const void*>(parametersAddress), parameters.data(), parameters.size(),
             nullptr) < 0)
        return {};

    // The maximum length is the target's word: read no more than the buffer
    // holds, and keep its last character a terminator.
    const auto maximumBytes = fieldAt<std::uint16_t>(parameters.data(), kCurrentDirectoryOffset + 2);
    const auto bufferAddress = fieldAt<std::uint64_t>(parameters.data(), kCurrentDirectoryOffset + 8);
    std::array<wchar_t, kDirectoryBufferBytes / sizeof(wchar_t)> directory{};
    const std::size_t bytes = std::min<std::size_t>(maximumBytes, kDirectoryBufferBytes - sizeof(wchar_t));
    if (read(process.get(), reinterpret_cast<const void*>(bufferAddress), directory.data(), bytes, nullptr) < 0)
        return {};
    return processTextToGbk(std::wstring_view(directory.data(), directory.size()));
}

std::vector<ProcessRow> listProcesses(bool* snapshotTaken) {
    std::vector<ProcessRow> rows;
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshotTaken != nullptr) *snapshotTaken = static_cast<bool>(snapshot);
    if (!snapshot) return rows;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        std::string directory = processCurrentDirectory(entry.th32ProcessID);
        if (directory.empty()) continue;
        ProcessRow row;
        // The same conversion as processExeName, so that a name chosen here
        // and one picked from a window name the same settings section.
        row.exeName = processTextToGbk(std::wstring_view(entry.szExeFile, std::size(entry.szExeFile)));
        row.pid = entry.th32ProcessID;
        row.path = std::move(directory) + row.exeName;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace corvane
