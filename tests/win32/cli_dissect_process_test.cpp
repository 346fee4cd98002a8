// corvane-cli dissect under Windows against the dissection test program:
// the kinds it prints against the declared layout, the fields that tell foes
// from friends, a module path as the place to look, and a structure of more
// than one leaf refused.

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/dissect_sample.h"
#include "tests/win32/cli_run.h"

namespace corvane {
namespace {

// dissect_target.exe beside this test, its input held open until the end.
class DissectTarget {
public:
    DissectTarget() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr;
        HANDLE childOut = nullptr;
        if (!CreatePipe(&childIn, &toChild_, &inherit, 0) || !CreatePipe(&fromChild_, &childOut, &inherit, 0)) return;
        SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
        std::wstring command = L"\"" + sample::builtProgramPath(L"dissect_target.exe") + L"\"";
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
        if (!started) return;
        std::string pending;
        char buffer[512];
        DWORD got = 0;
        while (pending.find("ready") == std::string::npos &&
               ReadFile(fromChild_, buffer, sizeof buffer, &got, nullptr) && got > 0)
            pending.append(buffer, got);
        std::istringstream lines(pending);
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos)
                values_[line.substr(0, equals)] = std::stoull(line.substr(equals + 1), nullptr, 16);
        }
    }
    ~DissectTarget() {
        if (toChild_ != nullptr) CloseHandle(toChild_);
        if (info_.hProcess != nullptr) {
            if (WaitForSingleObject(info_.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(info_.hProcess, 1);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
        if (fromChild_ != nullptr) CloseHandle(fromChild_);
    }
    DissectTarget(const DissectTarget&) = delete;
    DissectTarget& operator=(const DissectTarget&) = delete;

    std::wstring pid() const { return std::to_wstring(info_.dwProcessId); }
    std::uint64_t value(const std::string& key) const {
        const auto found = values_.find(key);
        return found == values_.end() ? 0 : found->second;
    }

private:
    HANDLE toChild_ = nullptr;
    HANDLE fromChild_ = nullptr;
    PROCESS_INFORMATION info_{};
    std::map<std::string, std::uint64_t> values_;
};

std::wstring hex(std::uint64_t value) {
    wchar_t text[20];
    swprintf(text, 20, L"%llX", static_cast<unsigned long long>(value));
    return text;
}

std::vector<std::vector<std::string>> fieldLines(const std::string& out) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        std::vector<std::string> cells;
        std::istringstream row(text);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        lines.push_back(cells);
    }
    return lines;
}

TEST(CliDissectProcess, KindsGroupsAndPlacesUnderWindows) {
    DissectTarget target;
    ASSERT_NE(target.value("records"), 0u) << "dissect_target.exe did not start";
    const std::wstring dissect = L"dissect --pid " + target.pid() + L" ";

    // Ten records' fields against their declared kinds.
    int declared = 0;
    int right = 0;
    for (std::uint64_t i = 0; i < 10; ++i) {
        const CliRun run =
            runCli(dissect + L"--size C0 --address " + hex(target.value("records") + i * sizeof(sample::Record)));
        ASSERT_EQ(run.exitCode, 0u);
        std::map<std::uint32_t, std::string> kinds;
        for (const auto& line : fieldLines(run.out))
            if (line.size() == 4) kinds[static_cast<std::uint32_t>(std::stoul(line[0], nullptr, 16))] = line[1];
        ASSERT_EQ(kinds.size(), sizeof(sample::Record) / 8);
        for (const sample::DeclaredField& field : sample::kRecordLayout) {
            if (std::string(field.kind) == "flag") continue;
            ++declared;
            std::string shown = kinds[field.offset & ~7u];
            if (const auto slash = shown.find('/'); slash != std::string::npos)
                shown = field.offset % 8 == 0 ? shown.substr(0, slash) : shown.substr(slash + 1);
            if (shown == field.kind) ++right;
        }
    }
    std::printf("record fields guessed right: %d of %d\n", right, declared);
    EXPECT_GE(100.0 * right / declared, 95.0);

    // The foes told apart.
    std::wstring compare;
    std::wstring groups;
    for (std::uint64_t i = 0; i < sample::kEntities; ++i) {
        if (i > 0) compare += (i > 1 ? L"," : L"") + hex(target.value("entities") + i * sizeof(sample::Entity));
        groups += sample::kFoe[i] ? L'B' : L'A';
    }
    const CliRun separated = runCli(dissect + L"--size 60 --address " + hex(target.value("entities")) + L" --compare " +
                                    compare + L" --groups " + groups);
    ASSERT_EQ(separated.exitCode, 0u);
    std::vector<std::string> offsets;
    for (const auto& line : fieldLines(separated.out)) offsets.push_back(line.empty() ? "" : line[0]);
    EXPECT_EQ(offsets, (std::vector<std::string>{"30", "38", "40"})) << separated.out;

    // Through the module's image: its first word, the "MZ" of its header.
    const CliRun module = runCli(dissect + L"--size 8 --structure dissect_target.exe+0]", true);
    ASSERT_EQ(module.exitCode, 0u) << module.out;
    const auto header = fieldLines(module.out);
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0][0], "0");
    const CliRun many = runCli(dissect + L"--structure dissect_target.exe+0*8*8]", true);
    EXPECT_EQ(many.exitCode, 2u);
    EXPECT_NE(many.out.find("more than one leaf"), std::string::npos) << many.out;
}

}  // namespace
}  // namespace corvane
