#pragma once

// Runs corvane-cli.exe from the tests of the built tree, as a user's shell would.

#include <windows.h>

#include <string>

#include "tools/sample_target/sample_process.h"

namespace corvane {

struct CliRun {
    DWORD exitCode = 0;
    std::string out;
};

// Runs corvane-cli with `arguments` and returns its exit code and standard
// output, with standard error mixed in when `withErrors`.
inline CliRun runCli(const std::wstring& arguments, bool withErrors = false) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readOut = nullptr, writeOut = nullptr;
    CreatePipe(&readOut, &writeOut, &inherit, 0);
    SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeOut;
    startup.hStdError = withErrors ? writeOut : nul;
    startup.hStdInput = nullptr;
    std::wstring command = L"\"" + sample::builtProgramPath(L"..\\tools\\corvane-cli.exe") + L"\" " + arguments;
    PROCESS_INFORMATION info{};
    CliRun run;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
        run.exitCode = 0xFFFFFFFF;
        return run;
    }
    CloseHandle(writeOut);
    CloseHandle(nul);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readOut, buffer, sizeof buffer, &got, nullptr) && got > 0) run.out.append(buffer, got);
    WaitForSingleObject(info.hProcess, 60000);
    GetExitCodeProcess(info.hProcess, &run.exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    CloseHandle(readOut);
    return run;
}

}  // namespace corvane
