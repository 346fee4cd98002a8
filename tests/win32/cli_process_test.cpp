// corvane-cli end to end against the sample targets.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwctype>
#include <string>
#include <thread>

#include "tests/win32/cli_run.h"
#include "tools/sample_target/sample_hints.h"
#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_process.h"

namespace corvane {
namespace {

namespace sample = corvane::sample;

std::wstring hex(std::uint64_t value) {
    wchar_t text[20];
    swprintf(text, 20, L"%llX", static_cast<unsigned long long>(value));
    return text;
}

class CliProcessTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        std::string why;
        process_ = sample::SampleProcess::start(GetParam(), false, why);
        if (!process_ && GetParam() && why.rfind("CreateProcess failed", 0) == 0)
            GTEST_SKIP() << "this machine cannot run 32-bit processes: " << why;
        ASSERT_TRUE(process_) << why;
        places_ = GetParam() ? &sample::kPlaces32 : &sample::kPlaces64;
        width_ = GetParam() ? 4 : 8;
        pid_ = std::to_wstring(process_->pid());
        results_ = sample::builtProgramPath(L"cli_results_") + (GetParam() ? L"32.txt" : L"64.txt");
    }
    void TearDown() override {
        if (!results_.empty()) DeleteFileW(results_.c_str());
    }
    // The root table's slots with the field at `offset`, e.g. 110000000*8*8]0].
    std::wstring structure(unsigned offset) const {
        return hex(places_->root) + L"*8*" + std::to_wstring(width_) + L"]" + hex(offset) + L"]";
    }
    std::string slotPath(unsigned slot, unsigned offset) const {
        char text[64];
        std::snprintf(text, sizeof text, "%llX]%X", static_cast<unsigned long long>(places_->root + slot * width_),
                      offset);
        return text;
    }
    std::string objectAddress(unsigned object, unsigned offset) const {
        char text[32];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(places_->objects[object] + offset));
        return text;
    }

    std::unique_ptr<sample::SampleProcess> process_;
    const sample::Places* places_ = nullptr;
    unsigned width_ = 8;
    std::wstring pid_;
    std::wstring results_;
};

TEST_P(CliProcessTest, FirstNextMonitorAndReformat) {
    const CliRun first = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kIdOffset) +
                                L" --out \"" + results_ + L"\"");
    ASSERT_EQ(first.exitCode, 0u);
    std::string content;
    HANDLE file = CreateFileW(results_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    EXPECT_EQ(content, slotPath(0, 0) + "\t1000\t" + objectAddress(0, 0) + "\n" + slotPath(4, 0) + "\t1001\t" +
                           objectAddress(1, 0) + "\n" + slotPath(6, 0) + "\t1002\t" + objectAddress(2, 0) + "\n");

    // The target changes object 1's id: "changed" keeps that one only.
    ASSERT_TRUE(process_->command("set32 " + objectAddress(1, 0) + " 5"));
    const CliRun next = runCli(L"next --pid " + pid_ + L" --in \"" + results_ + L"\" --condition 8");
    ASSERT_EQ(next.exitCode, 0u);
    EXPECT_EQ(next.out, slotPath(4, 0) + "\t5\t" + objectAddress(1, 0) + "\n");

    // Slot 0 is re-pointed at object 2: the monitor follows it.
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%llX", static_cast<unsigned long long>(places_->objects[2]));
    char slot0[32];
    std::snprintf(slot0, sizeof slot0, "%llX", static_cast<unsigned long long>(places_->root));
    ASSERT_TRUE(process_->command(std::string("setptr ") + slot0 + " " + pointer));
    const CliRun monitor = runCli(L"monitor --pid " + pid_ + L" --in \"" + results_ + L"\" --cycles 2");
    ASSERT_EQ(monitor.exitCode, 0u);
    const std::string cycle = slotPath(0, 0) + "\t1002\t" + objectAddress(2, 0) + "\n" + slotPath(4, 0) + "\t5\t" +
                              objectAddress(1, 0) + "\n" + slotPath(6, 0) + "\t1002\t" + objectAddress(2, 0) + "\n";
    EXPECT_EQ(monitor.out, "# cycle 1\n" + cycle + "# cycle 2\n" + cycle);

    // With --changes only the rows that differ from the file (slot 0 moved,
    // slot 4's value) come, each once, led by the cycle's time.
    const CliRun changes = runCli(L"monitor --pid " + pid_ + L" --in \"" + results_ + L"\" --cycles 2 --changes");
    ASSERT_EQ(changes.exitCode, 0u);
    const std::string changed[] = {slotPath(0, 0) + "\t1002\t" + objectAddress(2, 0) + "\n",
                                   slotPath(4, 0) + "\t5\t" + objectAddress(1, 0) + "\n"};
    std::size_t at = 0;
    for (const std::string& line : changed) {
        const std::size_t tab = changes.out.find('\t', at);
        ASSERT_NE(tab, std::string::npos) << changes.out;
        EXPECT_EQ(changes.out.find_first_not_of("0123456789", at), tab) << changes.out;
        EXPECT_EQ(changes.out.substr(tab + 1, line.size()), line) << changes.out;
        at = tab + 1 + line.size();
    }
    EXPECT_EQ(at, changes.out.size()) << changes.out;

    // Reformat reads at the listed addresses: object 0's id as a 16-bit hexadecimal value.
    const CliRun reformat = runCli(L"reformat --pid " + pid_ + L" --in \"" + results_ + L"\" --type 1 --base 1");
    ASSERT_EQ(reformat.exitCode, 0u);
    EXPECT_EQ(reformat.out.substr(0, reformat.out.find('\n')), slotPath(0, 0) + "\t3E8\t" + objectAddress(0, 0));
}

// Values not known yet: a snapshot of all writable memory, then the change
// conditions follow the health value as the target changes it.
TEST_P(CliProcessTest, AValueNotKnownYetIsFollowedDownToOneRow) {
    const std::string health = objectAddress(0, sample::kHealthOffset);
    // The sample's window shows the health it sets; without a display the
    // test sets it, as the window would.
    ASSERT_TRUE(process_->command("set32 " + health + " " + std::to_string(sample::kFullHealth)));
    // A newcomer's try: the value the sample's window shows, over all its memory.
    const CliRun shown = runCli(L"first --pid " + pid_ + L" --structure 内存] --type 长整型 --condition 2 --value1 " +
                                std::to_wstring(sample::kFullHealth));
    ASSERT_EQ(shown.exitCode, 0u);
    EXPECT_NE(shown.out.find(health + "\t100\t" + health + "\n"), std::string::npos);

    const std::wstring snapshot = results_ + L".snapshot";
    const CliRun first =
        runCli(L"first --pid " + pid_ + L" --structure memory] --condition 0 --out \"" + snapshot + L"\"");
    ASSERT_EQ(first.exitCode, 0u);
    struct Step {
        int value;      // set in the target before the pass
        int condition;  // of the pass
    };
    const Step steps[] = {{90, 8}, {95, 9}, {70, 10}, {65, 10}};
    std::wstring in = snapshot;
    // The sample's command thread leaves the value it set on its stack, which
    // would follow the health; a second command with a fixed value after each
    // set overwrites it (and its own target then keeps that value).
    const std::string scratch = "set32 " + objectAddress(2, sample::kHealthOffset) + " 123456789";
    for (const Step& step : steps) {
        ASSERT_TRUE(process_->command("set32 " + health + " " + std::to_string(step.value)));
        ASSERT_TRUE(process_->command(scratch));
        const CliRun next = runCli(L"next --pid " + pid_ + L" --in \"" + in + L"\" --condition " +
                                   std::to_wstring(step.condition) + L" --out \"" + results_ + L"\"");
        ASSERT_EQ(next.exitCode, 0u) << step.value;
        in = results_;
    }
    const CliRun monitor = runCli(L"monitor --pid " + pid_ + L" --in \"" + results_ + L"\" --cycles 1");
    EXPECT_EQ(monitor.out, "# cycle 1\n" + health + "\t65\t" + health + "\n");
    DeleteFileW(snapshot.c_str());
}

TEST_P(CliProcessTest, TextsComeOutAsUtf8) {
    const CliRun first =
        runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kUtf16Offset) + L" --type 7");
    ASSERT_EQ(first.exitCode, 0u);
    EXPECT_EQ(first.out.substr(0, first.out.find('\n')), slotPath(0, sample::kUtf16Offset) +
                                                             "\t\xE4\xBD\xA0\xE5\xA5\xBD"
                                                             "ABC\t" +
                                                             objectAddress(0, sample::kUtf16Offset));
}

TEST_P(CliProcessTest, TypesAndConditionsByName) {
    const CliRun byNumber = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kUtf16Offset) +
                                   L" --type 7 --condition 6 --value1 ABC");
    const CliRun byName = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kUtf16Offset) +
                                 L" --type U字符 --condition 包含字符 --value1 ABC");
    const CliRun byShortName = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kUtf16Offset) +
                                      L" --type utf16 --condition contains --value1 ABC");
    ASSERT_EQ(byNumber.exitCode, 0u);
    EXPECT_EQ(std::count(byNumber.out.begin(), byNumber.out.end(), '\n'), 3);
    EXPECT_EQ(byName.out, byNumber.out);
    EXPECT_EQ(byShortName.out, byNumber.out);
}

TEST_P(CliProcessTest, ATargetThatEndsDuringAMonitorIsReportedOnce) {
    const CliRun first = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kIdOffset) +
                                L" --out \"" + results_ + L"\"");
    ASSERT_EQ(first.exitCode, 0u);
    CliRun monitor;
    std::thread run(
        [&] { monitor = runCli(L"monitor --pid " + pid_ + L" --in \"" + results_ + L"\" --cycles 8", true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    process_.reset();  // the end of its input ends the target
    run.join();
    EXPECT_EQ(monitor.exitCode, 0u);
    const std::string gone = "the target process has gone";
    const auto at = monitor.out.find(gone);
    ASSERT_NE(at, std::string::npos) << monitor.out;
    EXPECT_EQ(monitor.out.find(gone, at + 1), std::string::npos);
    // The monitor kept cycling, with what it had read last.
    EXPECT_NE(monitor.out.find("# cycle 8"), std::string::npos);
}

std::string readWholeFile(const std::wstring& path) {
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    return content;
}

// The module table's results as the command line writes them: the path in
// the module form, the id, the address in the process that was searched.
std::string moduleTableLines(const sample::SampleProcess& process, const std::string& module, unsigned width) {
    std::string lines;
    for (unsigned i = 0; i < sample::kModuleSlots; ++i) {
        char line[160];
        std::snprintf(line, sizeof line, "%s+%llX]0\t%d\t%llX\n", module.c_str(),
                      static_cast<unsigned long long>(process.value("moduleTable") + i * width),
                      sample::moduleObjectId(i),
                      static_cast<unsigned long long>(process.value("moduleObject0") + i * 0x1000));
        lines += line;
    }
    return lines;
}

// A search anchored on the target's own module, saved in a settings file and
// in a results file, finds the values again in a new process of the program:
// a first search from the settings and a next search over the results.
TEST_P(CliProcessTest, AModuleStructureFindsItsValuesAfterARestart) {
    const std::string module = GetParam() ? "sample_target32.exe" : "sample_target.exe";
    const std::wstring wideModule(module.begin(), module.end());
    const std::wstring settings = sample::builtProgramPath(L"cli_module_") + (GetParam() ? L"32.ini" : L"64.ini");
    const std::wstring text = wideModule + L"+" + hex(process_->value("moduleTable")) + L"*" +
                              std::to_wstring(sample::kModuleSlots) + L"*" + std::to_wstring(width_) + L"]0]";
    ASSERT_TRUE(WritePrivateProfileStringW(wideModule.c_str(), L"结构", text.c_str(), settings.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(wideModule.c_str(), L"类型", L"2", settings.c_str()));
    const std::wstring fromSettings = L" --settings \"" + settings + L"\" --name " + wideModule;

    const CliRun first = runCli(L"first --pid " + pid_ + fromSettings + L" --out \"" + results_ + L"\"");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(readWholeFile(results_), moduleTableLines(*process_, module, width_));

    // The same module in other letters finds the same.
    std::wstring upper = text;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    const CliRun other = runCli(L"first --pid " + pid_ + L" --structure " + upper);
    EXPECT_EQ(other.exitCode, 0u);
    EXPECT_EQ(std::count(other.out.begin(), other.out.end(), '\n'), 3) << other.out;

    process_.reset();
    std::string why;
    process_ = sample::SampleProcess::start(GetParam(), false, why);
    ASSERT_TRUE(process_) << why;
    const std::wstring pid = std::to_wstring(process_->pid());
    const CliRun next = runCli(L"next --pid " + pid + L" --in \"" + results_ + L"\"");
    EXPECT_EQ(next.exitCode, 0u);
    EXPECT_EQ(next.out, moduleTableLines(*process_, module, width_));
    const CliRun again = runCli(L"first --pid " + pid + fromSettings);
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_EQ(again.out, moduleTableLines(*process_, module, width_));
    DeleteFileW(settings.c_str());

    const CliRun missing = runCli(L"first --pid " + pid + L" --structure nosuch.dll+10]0]", true);
    EXPECT_EQ(missing.exitCode, 4u);
    EXPECT_NE(missing.out.find("no module nosuch.dll"), std::string::npos) << missing.out;
    const CliRun later = runCli(L"first --pid " + pid + L" --structure 10]" + wideModule + L"+10]");
    EXPECT_EQ(later.exitCode, 2u);
}

TEST_P(CliProcessTest, PointerScanThenRescanAfterARestartAndSearchThroughAPath) {
    const std::string module = GetParam() ? "sample_target32.exe" : "sample_target.exe";
    const std::wstring wideModule(module.begin(), module.end());
    const auto narrowHex = [](std::uint64_t value) {
        const std::wstring text = hex(value);
        return std::string(text.begin(), text.end());
    };
    // The module table's slot 0 points at an object whose data pointer at
    // +8 points at its data array: the value is the array's first long.
    const auto valueAt = [&] { return process_->value("moduleObject0") + sample::kDataOffset; };
    const std::string table = module + "+" + narrowHex(process_->value("moduleTable"));
    const CliRun scan = runCli(L"pointers --pid " + pid_ + L" --address " + hex(valueAt()) + L" --depth 2 --modules " +
                                   wideModule + L" --out \"" + results_ + L"\"",
                               true);
    EXPECT_EQ(scan.exitCode, 0u) << scan.out;
    EXPECT_NE(scan.out.find("pointers mapped: "), std::string::npos) << scan.out;
    const std::string found = readWholeFile(results_);
    for (const std::string& path : {table + "]800\n", table + "]8]0\n"})
        EXPECT_NE(found.find(path), std::string::npos) << path << " not in:\n" << found << scan.out;
    // Slot 1 points at the next object: not to the value.
    const std::string elsewhere = module + "+" + narrowHex(process_->value("moduleTable") + width_) + "]800";
    {
        FILE* file = _wfopen(results_.c_str(), L"ab");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%s\n", elsewhere.c_str());
        std::fclose(file);
    }

    // Restarted until the objects lie elsewhere (their place follows the process id).
    const std::uint64_t before = valueAt();
    for (int start = 0; start < 8 && (start == 0 || valueAt() == before); ++start) {
        process_.reset();
        std::string why;
        process_ = sample::SampleProcess::start(GetParam(), false, why);
        ASSERT_TRUE(process_) << why;
    }
    ASSERT_NE(valueAt(), before);
    const std::wstring pid = std::to_wstring(process_->pid());
    const CliRun rescan = runCli(L"pointers --pid " + pid + L" --in \"" + results_ + L"\" --address " + hex(valueAt()));
    EXPECT_EQ(rescan.exitCode, 0u);
    for (const std::string& path : {table + "]800\n", table + "]8]0\n"})
        EXPECT_NE(rescan.out.find(path), std::string::npos) << path << " not in:\n" << rescan.out;
    EXPECT_EQ(rescan.out.find(elsewhere), std::string::npos) << rescan.out;

    const std::wstring structure(table.begin(), table.end());
    const CliRun first = runCli(L"first --pid " + pid + L" --structure " + structure + L"]8]0] --type long");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(first.out, table + "]8]0\t" + std::to_string(sample::dataValue(sample::kModuleObjectFirst, 0)) + "\t" +
                             narrowHex(valueAt()) + "\n");
}

// Every mistake a newcomer makes gets one line (two for a mistake in the
// command line: the help is named) and its exit code, never results or
// silence with exit code 0.
TEST_P(CliProcessTest, EveryMistakeIsOneLineWithItsExitCode) {
    const std::wstring folder = sample::builtProgramPath(L"cli_refusals_") + pid_;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring paths = folder + L"\\paths.txt";
    {
        FILE* file = _wfopen(paths.c_str(), L"wb");
        ASSERT_NE(file, nullptr);
        std::fputs("sample_target.exe+4E050]8]0\n", file);
        std::fclose(file);
    }
    const std::wstring missing = folder + L"\\none\\r.txt";
    const std::wstring memory = L" --structure 内存] ";
    struct Case {
        std::wstring args;
        DWORD exitCode;
        std::string said;
    };
    const Case cases[] = {
        {L"first --pid " + pid_ + memory + L"--condition eq --value1 abc", 2,
         "--value1 abc is not a decimal whole number for \xE9\x95\xBF\xE6\x95\xB4\xE5\x9E\x8B (long), "
         "-2147483648 to 2147483647"},
        {L"first --pid " + pid_ + memory + L"--condition eq --value1 0x7A4F", 2, "hexadecimal needs --base hex"},
        {L"first --pid " + pid_ + memory + L"--condition 等于", 2, "(eq) needs --value1"},
        {L"first --pid " + pid_ + memory + L"--type byte --condition eq --value1 300", 2, "0 to 255"},
        {L"first --pid " + pid_ + memory + L"--type byte --condition eq --value1 -1", 2, "--value1 -1 is out of range"},
        {L"first --pid " + pid_ + memory + L"--condition between --value1 5", 2, "(between) needs --value2"},
        {L"first --pid " + pid_ + memory + L"--condition between --value1 10 --value2 5", 2, "10 is above 5"},
        {L"first --pid " + pid_ + L" --structure xyz]", 2, "structure row 1 (xyz]): the start offset xyz"},
        {L"first --pid " + pid_ + L" --structure ghij*2*8]", 2, "structure row 1 (ghij*2*8]): the start offset"},
        {L"first --pid 4294967280 --structure 10]", 3, "cannot open process 4294967280: no such process"},
        {L"pointers --pid 4294967280 --address 10", 3, "no such process"},
        {L"first --pid " + pid_ + L" --structure 10] --out \"" + missing + L"\"", 2, "no such folder"},
        {L"next --pid " + pid_ + L" --in \"" + folder + L"\"", 2, "is a folder, not a results file"},
        {L"monitor --pid " + pid_ + L" --in \"" + paths + L"\" --cycles 1", 2, "is a pointer paths file"},
        {L"pointers --pid " + pid_ + L" --address 10 --modules nosuch.dll", 4, "has not loaded nosuch.dll"},
        {L"frist --pid " + pid_, 2, "unknown command 'frist'"},
        {L"first --pid=" + pid_ + L" --structure=10] --colour=red", 2, "unknown option --colour"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.args, true);
        // Standard error is a text stream here: its lines end in CR LF.
        std::string out = run.out;
        std::erase(out, '\r');
        const std::string what(c.args.begin(), c.args.end());
        EXPECT_EQ(run.exitCode, c.exitCode) << what << "\n" << out;
        EXPECT_EQ(out.rfind("corvane-cli: ", 0), 0u) << what << "\n" << out;
        EXPECT_NE(out.find(c.said), std::string::npos) << what << "\n" << out;
        const bool usage = out.ends_with("\ncorvane-cli --help for more\n");
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), usage ? 2 : 1) << what << "\n" << out;
    }
    DeleteFileW(paths.c_str());
    RemoveDirectoryW(folder.c_str());
}

// Options written --option=value find what the spaced ones find; a row whose
// path leads nowhere is counted and named on standard error by the monitor
// and the reformat, not printed as if it were live.
TEST_P(CliProcessTest, OptionEqualsValueAndRowsThatCannotBeRead) {
    const CliRun spaced = runCli(L"first --pid " + pid_ + L" --structure " + structure(sample::kIdOffset) +
                                 L" --condition eq --value1 1001 --out \"" + results_ + L"\"");
    ASSERT_EQ(spaced.exitCode, 0u);
    const CliRun joined = runCli(L"first --pid=" + pid_ + L" --structure=" + structure(sample::kIdOffset) +
                                 L" --condition=eq --value1=1001");
    EXPECT_EQ(joined.exitCode, 0u);
    EXPECT_EQ(joined.out, readWholeFile(results_));
    EXPECT_EQ(joined.out, slotPath(4, 0) + "\t1001\t" + objectAddress(1, 0) + "\n");
    {
        FILE* file = _wfopen(results_.c_str(), L"ab");
        ASSERT_NE(file, nullptr);
        std::fputs("10]8\t5\t18\n", file);
        std::fclose(file);
    }
    for (const wchar_t* command : {L"monitor --cycles 1", L"reformat --type short"}) {
        const std::wstring head(command);
        const std::wstring verb = head.substr(0, head.find(L' '));
        const CliRun run =
            runCli(verb + L" --pid " + pid_ + L" --in \"" + results_ + L"\"" + head.substr(verb.size()), true);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_NE(run.out.find("1 of 2 rows could not be read (10]8); they keep the values listed before"),
                  std::string::npos)
            << run.out;
    }
    const CliRun changes = runCli(L"monitor --pid " + pid_ + L" --in \"" + results_ + L"\" --cycles 2 --changes");
    EXPECT_EQ(changes.exitCode, 0u);
    const std::size_t tab = changes.out.find('\t');
    ASSERT_NE(tab, std::string::npos) << changes.out;
    EXPECT_EQ(changes.out.substr(tab), "\t10]8\t\t\n") << changes.out;
}

INSTANTIATE_TEST_SUITE_P(Bitness, CliProcessTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Target32" : "Target64"; });

TEST(CliProcess, HelpAndVersionEndWell) {
    for (const wchar_t* asked : {L"--help", L"-h", L"help"}) {
        const CliRun help = runCli(asked);
        EXPECT_EQ(help.exitCode, 0u);
        EXPECT_EQ(help.out.rfind("usage:", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("unchanged"), std::string::npos);
    }
    const CliRun version = runCli(L"--version");
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.out, "corvane-cli 2.0.4\n");
}

TEST(CliProcess, BadUsageAndUnopenableTargets) {
    EXPECT_EQ(runCli(L"first --structure 10]").exitCode, 2u);
    EXPECT_EQ(runCli(L"frist --pid 4").exitCode, 2u);
    EXPECT_EQ(runCli(L"first --pid 4294967280 --structure 10]").exitCode, 3u);
    // The help names the memory row and the snapshot file.
    const CliRun help = runCli(L"--help");
    for (const char* named : {"\xE5\x86\x85\xE5\xAD\x98]", "memory]", "snapshot", "--option=value"})
        EXPECT_NE(help.out.find(named), std::string::npos) << named;
}

}  // namespace
}  // namespace corvane
