// corvane-cli: the search engine from the command line, for scripting,
// export and automation. See kCliUsage.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "engine/kit/elapsed_time.h"
#include "engine/search/search_engine.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"
#include "tools/cli/cli_failure.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_settings.h"
#include "tools/cli/dissect_command.h"
#include "tools/cli/monitor_changes.h"
#include "tools/cli/pointers_command.h"
#include "tools/cli/progress_line.h"
#include "tools/cli/snapshot_out.h"
#include "engine/files/results_file.h"
#include "engine/files/snapshot_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include "engine/target/win32/target_process.h"
#else
#include <unistd.h>

#include "engine/target/native/process_reader.h"
#endif

namespace {

using namespace corvane;

std::atomic<SearchEngine*> runningEngine{nullptr};
std::atomic<bool> interrupted{false};

// Ctrl+C stops a first search as the window's stop button does, and ends monitoring.
void interrupt() {
    interrupted = true;
    if (SearchEngine* engine = runningEngine.load()) {
        engine->stopRequested.raise();
        engine->monitorActive = 0;
    }
    stopPointers();
}

#ifdef _WIN32
BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    interrupt();
    return TRUE;
}

// The arguments as code page 936 texts, whatever the console's code page.
std::vector<std::string> arguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(wide[i]));
        args.push_back(systemTextCodec().fromUtf16(text, CodePage::Gbk));
    }
    LocalFree(wide);
    return args;
}

std::unique_ptr<TargetAccess> makeTarget(std::uint32_t pid) {
    auto target = std::make_unique<TargetProcess>();
    target->targetPid = pid;
    return target;
}
#else
void onSignal(int) { interrupt(); }

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(systemTextCodec().fromUtf16(decodeUtf8Text(argv[i]), CodePage::Gbk));
    return args;
}

std::unique_ptr<TargetAccess> makeTarget(std::uint32_t pid) {
    return std::make_unique<LinuxProcessReader>(static_cast<pid_t>(pid));
}
#endif

// Stands in for the window: fixed settings, figures kept for the summary.
class CliSink : public SearchSink {
public:
    explicit CliSink(SearchSettings settings) : settings_(std::move(settings)) {}
    SearchSettings captureSettings() override { return settings_; }
    ValueType currentType() override { return settings_.type; }
    void publishCount(std::size_t) override {}
    void setStatusText(StatusField, const std::string&) override {}
    void firstSearchEnded(const FirstSearchReport& report) override { report_ = report; }
    void reformatEnded() override {}
    const FirstSearchReport& report() const { return report_; }

private:
    SearchSettings settings_;
    FirstSearchReport report_;
};

void writeOutput(const CliOptions& options, const ResultStore& results) {
    if (options.outFile.empty()) {
        writeResults(std::cout, results, systemTextCodec());
        std::cout.flush();
        return;
    }
    std::ofstream out(options.outFile, std::ios::binary);
    writeResults(out, results, systemTextCodec());
    if (!out) throw std::runtime_error("cannot write " + options.outFile);
}

// The first search's progress line: leaves so far, results so far, the rate.
std::function<std::string()> searchProgress(const SearchEngine& engine) {
    return [&engine, start = std::chrono::steady_clock::now()] {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto leaves = engine.progress().leaves.load(std::memory_order_relaxed);
        const auto results = engine.progress().results.load(std::memory_order_relaxed);
        char text[128];
        std::snprintf(text, sizeof text, "traversed %llu, results %llu, %.0f leaves/s",
                      static_cast<unsigned long long>(leaves), static_cast<unsigned long long>(results),
                      static_cast<double>(leaves) / seconds);
        return std::string(text);
    };
}

// Why FILE, opened as `in`, is no results file or snapshot to read: missing,
// a folder, or a pointer scan's paths (no tab on its first line).
std::string inFileProblem(const std::string& file, std::ifstream& in) {
    std::error_code error;
    std::u16string wide;
    if (systemTextCodec().toUtf16(file, CodePage::Gbk, wide) && std::filesystem::is_directory(wide, error))
        return file + " is a folder, not a results file";
    if (!in) return "cannot read " + file;
    std::string line;
    while (line.empty() && std::getline(in, line))
        if (!line.empty() && line.back() == '\r') line.pop_back();
    in.clear();
    in.seekg(0);
    if (!line.empty() && line.find('\t') == std::string::npos && !line.starts_with("CORVANE-"))
        return file + " is a pointer paths file, not a results file (pointers --in takes it)";
    return "";
}

void sayIfGone(const TargetAccess& target) {
    if (target.hasExited()) say("the target process has gone; the results are what was read before");
}

// Rows a monitor cycle or a reformat could not read keep the values listed
// before; without a list to grey them in, standard error says how many and
// names the first.
void sayUnread(const UnreadRows& unread, std::size_t rows, const char* when) {
    if (unread.count == 0) return;
    std::string named;
    for (const std::string& path : unread.firstPaths) named += (named.empty() ? "" : ", ") + path;
    if (unread.count > unread.firstPaths.size()) named += ", ...";
    say(std::string(when) + std::to_string(unread.count) + " of " + std::to_string(rows) + " rows could not be read (" +
        named + "); they keep the values listed before");
}

// Cycles until Ctrl+C or --cycles, printing every row after each cycle, or
// with --changes the rows that changed.
void monitor(const CliOptions& options, const CliSettings& settings, SearchEngine& engine, const TargetAccess& target,
             const UnreadRows& unread) {
    // No pass of this run captured a base: the options give it.
    engine.setBaseMode(settings.search.baseMode);
    std::unique_ptr<ChangedRows> changes;
    std::ofstream file;
    std::ostream* out = &std::cout;
    if (options.changes) {
        changes = std::make_unique<ChangedRows>(engine.results(), systemTextCodec());
        if (!options.outFile.empty()) {
            file.open(options.outFile, std::ios::binary);
            out = &file;
        }
    }
    // Monitoring goes on after the target has gone, as the window's does;
    // it is said once.
    bool gone = false;
    // Said again only when the count changes, not five times a second.
    std::uint64_t unreadSaid = 0;
    std::exception_ptr failure;
    const auto start = std::chrono::steady_clock::now();
    engine.monitorActive = -1;
    engine.runMonitorLoop([&](std::uint64_t cycle) {
        try {
            if (!gone && target.hasExited()) {
                sayIfGone(target);
                gone = true;
            }
            if (unread.count != unreadSaid) {
                const std::string when = "cycle " + std::to_string(cycle) + ": ";
                if (unread.count == 0) say(when + "every row was read again");
                sayUnread(unread, engine.results().count(), when.c_str());
                unreadSaid = unread.count;
            }
            if (changes) {
                changes->write(*out, millisecondsSince(start), &unread);
                out->flush();
                if (!*out) throw std::runtime_error("cannot write " + options.outFile);
            } else {
                std::cout << "# cycle " << cycle << "\n";
                writeOutput(options, engine.results());
            }
        } catch (...) {
            failure = std::current_exception();
            return false;
        }
        return !options.cycles || cycle < static_cast<std::uint64_t>(*options.cycles);
    });
    engine.monitorActive = 0;
    if (failure) std::rethrow_exception(failure);
}

int run(const CliOptions& options, const CliSettings& settings) {
    auto target = makeTarget(*options.pid);
    CliSink sink(settings.search);
    SearchEngine engine(*target, sink, systemTextCodec());
    runningEngine = &engine;
    UnreadRows unread;
    engine.unreadRows = &unread;
    auto* modules = dynamic_cast<ModuleLookup*>(target.get());
    engine.setModuleLookup(modules);
    engine.setRegionLookup(dynamic_cast<RegionLookup*>(target.get()));
    // Said as it is found; the run goes on with what the other paths find.
    std::atomic<bool> moduleMissing{false};
    engine.onModuleMissing = [&moduleMissing](const std::string& module) {
        say("the target has no module " + module + " loaded");
        moduleMissing = true;
    };
    struct Clear {
        ~Clear() { runningEngine = nullptr; }
    } clear;
    const auto start = std::chrono::steady_clock::now();

    if (options.command == "first") {
        FirstSearchReport report;
        // Values not known yet stream to their file as the memory is read.
        SnapshotOut snapshotOut(options.outFile);
        if (settings.memory && !options.outFile.empty()) snapshotOut.attach(engine);
        {
            const ProgressLine progress(searchProgress(engine));
            report = engine.runFirstSearch(settings.rows, settings.module,
                                           settings.memory ? FirstRow::Memory : FirstRow::Offsets);
        }
        if (report.openError != 0) return failToOpen(*options.pid, report.openError);
        // A process opened with the read right alone may still not list its
        // regions: a memory row then walks nothing, which is not "0 results".
        auto* regions = dynamic_cast<RegionLookup*>(target.get());
        if (settings.memory && report.candidates == 0 && report.snapshotAddresses == 0 && !report.stopped &&
            (regions == nullptr || regions->readableRegions().empty()))
            return fail(kExitCannotOpen, "cannot list the memory of process " + std::to_string(*options.pid));
        if (snapshotOut.started() && engine.snapshot() == nullptr) {
            // Stopped or failed while streaming: the part file is gone, and
            // no empty results stand at FILE in place of a snapshot.
            if (!report.stopped) return fail(1, "the snapshot could not be written to " + options.outFile);
            std::fprintf(stderr, "snapshot: nothing kept, %ums (stopped)\n", report.elapsedMs);
        } else if (const MemorySnapshot* snapshot = engine.snapshot()) {
            if (options.outFile.empty())
                return fail(kExitUsage, "values not known yet are kept in a snapshot: give --out FILE");
            snapshotOut.finish(*snapshot);
            std::fprintf(stderr, "snapshot: %llu addresses, %ums\n",
                         static_cast<unsigned long long>(report.snapshotAddresses), report.elapsedMs);
        } else {
            writeOutput(options, engine.results());
            std::fprintf(stderr, "results: %zu, traversed: %zu, %ums%s\n", report.results, report.candidates,
                         report.elapsedMs, report.stopped ? " (stopped)" : "");
        }
        sayIfGone(*target);
        return moduleMissing ? kExitNoModule : 0;
    }

    std::ifstream in(options.inFile, std::ios::binary);
    if (const std::string problem = inFileProblem(options.inFile, in); !problem.empty())
        return fail(kExitUsage, problem);
    std::string error;
    if (isSnapshotFile(in)) {
        if (options.command != "next")
            return fail(kExitUsage, options.inFile + ": a snapshot is narrowed by next first");
        // Its pages stay in the file, read beside the target's memory.
        MemorySnapshot snapshot;
        if (!openSnapshotFile(options.inFile, snapshot, error)) return fail(kExitUsage, options.inFile + ": " + error);
        engine.installSnapshot(std::move(snapshot));
    } else if (!readResults(in, engine.results(), systemTextCodec(), error)) {
        return fail(kExitUsage, options.inFile + ": " + error);
    }
    const std::size_t before =
        engine.snapshot() ? static_cast<std::size_t>(engine.snapshotAddresses()) : engine.results().count();
    // Each run is a process of its own: the target is opened here, where the
    // window would use the handle of its last first search.
    if (const std::uint32_t openError = target->openTarget()) return failToOpen(*options.pid, openError);

    if (options.command == "next") {
        engine.runNextSearch();
        writeOutput(options, engine.results());
    } else if (options.command == "reformat") {
        engine.runReformat();
        writeOutput(options, engine.results());
        sayUnread(unread, engine.results().count(), "");
    } else {
        monitor(options, settings, engine, *target, unread);
    }
    std::fprintf(stderr, "results: %zu of %zu, %ums\n", engine.results().count(), before, millisecondsSince(start));
    if (options.command != "monitor") sayIfGone(*target);
    return moduleMissing ? kExitNoModule : 0;
}

int pointersCommand(const std::vector<std::string>& args) {
    PointerOptions options;
    options.makeMap = args[0] == "pointermap";
    if (const std::string problem = parsePointerOptions({args.begin() + 1, args.end()}, options); !problem.empty())
        return failUsage(problem);
    if (const std::string problem = outFileProblem(options.outFile); !problem.empty()) return fail(kExitUsage, problem);
    if (!options.pid) return runPointers(options, nullptr, nullptr, nullptr);
    auto target = makeTarget(*options.pid);
    return runPointers(options, target.get(), dynamic_cast<RegionLookup*>(target.get()),
                       dynamic_cast<ModuleLookup*>(target.get()));
}

int dissectCommand(const std::vector<std::string>& args) {
    DissectOptions options;
    if (const std::string problem = parseDissectOptions({args.begin() + 1, args.end()}, options); !problem.empty()) {
        std::fprintf(stderr, "corvane-cli: %s\nusage:\n%s", problem.c_str(), kDissectUsage);
        return kExitUsage;
    }
    auto target = makeTarget(*options.pid);
    return runDissect(options, *target, dynamic_cast<RegionLookup*>(target.get()),
                      dynamic_cast<ModuleLookup*>(target.get()), std::cout);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Results are the same bytes on standard output as in a file: "\n" line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    std::signal(SIGINT, onSignal);
#endif
    try {
        const std::vector<std::string> args = splitOptionValues(arguments(argc, argv));
        if (!args.empty() && (args[0] == "pointers" || args[0] == "pointermap")) return pointersCommand(args);
        if (!args.empty() && args[0] == "dissect") return dissectCommand(args);
        CliOptions options;
        if (const std::string problem = parseCliOptions(args, options); !problem.empty()) return failUsage(problem);
        if (options.command == "help") {
            std::fputs(kCliUsage, stdout);
            std::fputs(kPointersUsage, stdout);
            std::fputs(kDissectUsage, stdout);
            return 0;
        }
        if (options.command == "version") {
            std::printf("corvane-cli %s\n", kCliVersion);
            return 0;
        }
        CliSettings settings;
        if (const std::string problem = resolveCliSettings(options, settings); !problem.empty())
            return failUsage(problem);
        if (const std::string problem = outFileProblem(options.outFile); !problem.empty())
            return fail(kExitUsage, problem);
        return run(options, settings);
    } catch (const std::exception& error) {
        return fail(kExitFailed, error.what());
    }
}
