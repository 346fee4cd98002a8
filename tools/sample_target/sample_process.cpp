#include "tools/sample_target/sample_process.h"

#include <cstdlib>
#include <cwchar>
#include <stdexcept>

namespace corvane::sample {

std::wstring builtProgramPath(const wchar_t* relative) {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + relative;
}

std::unique_ptr<SampleProcess> SampleProcess::start(bool bits32, bool large, std::string& why, bool huge,
                                                    std::optional<std::uint32_t> seed) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, toChild = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild, &inherit, 0) || !CreatePipe(&fromChild, &childOut, &inherit, 0)) {
        why = "CreatePipe failed";
        return nullptr;
    }
    UniqueHandle childInOwner(childIn), childOutOwner(childOut);
    std::unique_ptr<SampleProcess> sample(new SampleProcess);
    sample->toChild_.reset(toChild);
    sample->fromChild_.reset(fromChild);
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = childOut;
    std::wstring commandLine =
        L"\"" + builtProgramPath(bits32 ? L"..\\tools\\sample_target32.exe" : L"..\\tools\\sample_target.exe") + L"\"" +
        (huge ? L" --huge" : (large ? L" --large" : L""));
    if (seed) {
        wchar_t hex[12];
        swprintf(hex, 12, L"%X", *seed);
        commandLine += L" --seed " + std::wstring(hex);
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        why = "CreateProcess failed with error " + std::to_string(GetLastError());
        return nullptr;
    }
    CloseHandle(info.hThread);
    sample->process_.reset(info.hProcess);
    sample->pid_ = info.dwProcessId;
    childInOwner.reset();
    childOutOwner.reset();

    std::string line;
    while (sample->readLine(line)) {
        if (line == "ready") return sample;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        sample->values_[line.substr(0, equals)] = std::strtoull(line.c_str() + equals + 1, nullptr, 16);
        why += line + "; ";
    }
    why += "the sample target ended before it was ready";
    return nullptr;
}

SampleProcess::~SampleProcess() {
    toChild_.reset();  // end of input ends the target
    if (process_ && WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
}

std::uint64_t SampleProcess::value(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) throw std::out_of_range("the sample target printed no " + key);
    return found->second;
}

bool SampleProcess::command(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    if (!WriteFile(toChild_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
    std::string answer;
    return readLine(answer) && answer == "ok";
}

bool SampleProcess::readLine(std::string& line) {
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, end + 1);
            return true;
        }
        char buffer[512];
        DWORD got = 0;
        if (!ReadFile(fromChild_.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) return false;
        pending_.append(buffer, got);
    }
}

}  // namespace corvane::sample
