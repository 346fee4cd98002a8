#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "engine/search/search_sink.h"
#include "engine/target/target_access.h"
#include "tools/bench/memory_in_use.h"

namespace corvane::bench {

// Counts what reaches the target.
class CountingTarget : public TargetAccess {
public:
    explicit CountingTarget(TargetAccess& inner) : inner_(inner) {}
    bool read(std::uint64_t address, void* buffer, std::size_t size) override {
        calls.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(size, std::memory_order_relaxed);
        return inner_.read(address, buffer, size);
    }
    unsigned pointerWidth() const override { return inner_.pointerWidth(); }
    // The passes read with two threads only where the target gains by it.
    bool readsInParallel() const override { return inner_.readsInParallel(); }
    std::uint32_t openTarget() override { return inner_.openTarget(); }
    void reset() {
        calls = 0;
        bytes = 0;
    }
    std::atomic<std::uint64_t> calls{0};
    std::atomic<std::uint64_t> bytes{0};

private:
    TargetAccess& inner_;
};

// Hands out fixed settings and ignores what the passes report.
class BenchSink : public SearchSink {
public:
    SearchSettings settings;
    SearchSettings captureSettings() override { return settings; }
    ValueType currentType() override { return settings.type; }
    void publishCount(std::size_t) override {}
    void setStatusText(StatusField, const std::string&) override {}
    void firstSearchEnded(const FirstSearchReport&) override {}
    void reformatEnded() override {}
};

#ifdef _WIN32
// This program started again with further arguments, its input and output on
// pipes: the child reports on its output, then waits for its input to close
// (waitForInputToClose), which happens when its owner goes.
class SelfChild {
public:
    SelfChild() = default;
    SelfChild(const SelfChild&) = delete;
    SelfChild& operator=(const SelfChild&) = delete;
    ~SelfChild() {
        if (toChild_ != nullptr) CloseHandle(toChild_);
        if (info_.hProcess != nullptr) {
            if (WaitForSingleObject(info_.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(info_.hProcess, 1);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
        if (fromChild_ != nullptr) CloseHandle(fromChild_);
    }

    bool start(const std::wstring& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr;
        HANDLE childOut = nullptr;
        if (!CreatePipe(&childIn, &toChild_, &inherit, 0)) return false;
        if (!CreatePipe(&fromChild_, &childOut, &inherit, 0)) {
            CloseHandle(childIn);
            return false;
        }
        SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                            nullptr, &startup, &info_) != 0;
        CloseHandle(childIn);
        CloseHandle(childOut);
        return started;
    }

    // Reads exactly `size` bytes of what the child reports.
    bool readReport(void* bytes, DWORD size) {
        auto* at = static_cast<char*>(bytes);
        while (size > 0) {
            DWORD got = 0;
            if (!ReadFile(fromChild_, at, size, &got, nullptr) || got == 0) return false;
            at += got;
            size -= got;
        }
        return true;
    }

    DWORD pid() const { return info_.dwProcessId; }

private:
    HANDLE toChild_ = nullptr;
    HANDLE fromChild_ = nullptr;
    PROCESS_INFORMATION info_{};
};

// What a SelfChild does once it has reported: holds its memory until its
// owner goes.
inline void waitForInputToClose() {
    char byte = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got > 0) {
    }
}
#else
// Forks a child that runs `layOut` and then waits until it is killed. Gives
// the child's id, or -1 with `why` when it could not be made or laid out.
inline pid_t forkLaidOut(const std::function<bool()>& layOut, std::string& why) {
    int ready[2];
    if (pipe(ready) != 0) {
        why = "pipe failed";
        return -1;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        why = "fork failed";
        return -1;
    }
    if (pid == 0) {
        close(ready[0]);
        const char answer = layOut() ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    const bool ok = read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
    if (!ok) why = "the child could not lay out its memory";
    return pid;
}

// This program again with `args`, its standard output a pipe, until `size`
// bytes of its report come through into `report`: a fresh process that holds
// none of this one's memory, as a restarted program holds none of its last
// run's (a fork would carry what this process freed but kept). The child's
// id, or -1; false reports leave `report` short.
inline pid_t execSelf(const std::vector<std::string>& args, void* report, std::size_t size, bool& reported) {
    reported = false;
    int ready[2];
    if (pipe(ready) != 0) return -1;
    std::vector<const char*> argv{"bench"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        dup2(ready[1], STDOUT_FILENO);
        close(ready[1]);
        execv("/proc/self/exe", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(ready[1]);
    if (pid > 0) reported = read(ready[0], report, size) == static_cast<ssize_t>(size);
    close(ready[0]);
    return pid;
}
#endif

}  // namespace corvane::bench
