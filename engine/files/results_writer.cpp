#include "engine/files/results_file.h"

#include <array>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/files/result_lines.h"

namespace corvane {
namespace {

// Lines are handed to the stream in blocks of about this size.
constexpr std::size_t kBlock = 1 << 20;
// Results taken from the store at a time.
constexpr std::size_t kBatch = 4096;

// A large file is written by two threads: this one takes the results from
// the store in runs and formats every other run, a second one formats the
// runs between and hands all of them to the stream in order. Formatting
// costs about as much as taking the results and writing the file together,
// so each thread has about half of the work.
class TwoLaneWriter {
public:
    // Runs of this many results; a store of fewer than two is written by one thread.
    static constexpr std::size_t kRun = 16384;

    TwoLaneWriter(std::ostream& out, const ResultStore& results, const PathTable& paths, const TextCodec& codec)
        : out_(out), results_(results), mine_(paths, codec), theirs_(paths, codec) {}

    // False, with nothing written, when no second thread could be started.
    bool write() {
        try {
            helper_ = std::thread([this] { helperLane(); });
        } catch (const std::system_error&) {
            return false;
        }
        // The other lane is waited for; told to stop when this one ends early.
        struct Join {
            TwoLaneWriter& writer;
            bool done = false;
            ~Join() {
                if (!done) {
                    std::lock_guard lock(writer.mutex_);
                    writer.stopped_ = true;
                }
                writer.changed_.notify_all();
                writer.helper_.join();
            }
        };
        {
            Join join{*this};
            mainLane();
            join.done = true;
        }
        if (failure_) std::rethrow_exception(failure_);
        return true;
    }

private:
    enum class State : std::uint8_t { Free, Taken, Formatted };
    struct Run {
        std::vector<ResultSnapshot> entries;
        std::size_t count = 0;
        std::vector<char> text;
        std::size_t used = 0;
        State state = State::Free;
    };
    // Two pairs of runs in flight: a pair being formatted, the one before being written.
    Run& run(std::size_t number) { return runs_[number % runs_.size()]; }

    // Takes the runs of each pair, hands over the odd one and formats the even one.
    void mainLane() {
        for (std::size_t pair = 0;; pair += 2) {
            if (!take(pair)) return;
            const bool odd = take(pair + 1);
            Run& even = run(pair);
            even.used = 0;
            mine_.format(even.entries.data(), even.count, even.text, even.used);
            setState(even, State::Formatted);
            if (!odd) return;
        }
    }

    // Formats the odd run of each pair, then writes the pair.
    void helperLane() {
        try {
            for (std::size_t pair = 0;; pair += 2) {
                Run& odd = run(pair + 1);
                const std::optional<bool> haveOdd = await(pair + 1, odd, State::Taken);
                if (!haveOdd) return;
                if (*haveOdd) {
                    odd.used = 0;
                    theirs_.format(odd.entries.data(), odd.count, odd.text, odd.used);
                }
                Run& even = run(pair);
                if (await(pair, even, State::Formatted) != true) return;
                writeOut(even);
                if (!*haveOdd) return;
                writeOut(odd);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            stopped_ = true;
            changed_.notify_all();
        }
    }

    // Takes run `number` from the store once its place is free; false at
    // the end of the results or when the other lane failed.
    bool take(std::size_t number) {
        Run& taken = run(number);
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return taken.state == State::Free || stopped_; });
            if (stopped_) return false;
        }
        taken.count = results_.snapshot(fromStart_, last_, kRun, taken.entries);
        if (taken.count == 0) {
            std::lock_guard lock(mutex_);
            runCount_ = number;
            changed_.notify_all();
            return false;
        }
        fromStart_ = false;
        last_ = taken.entries[taken.count - 1].serial;
        setState(taken, State::Taken);
        return true;
    }

    // Waits for run `number` to reach `state` (true) or for the results to
    // end before it (false); nothing when the lanes are stopped.
    std::optional<bool> await(std::size_t number, const Run& awaited, State state) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return awaited.state == state || runCount_ <= number || stopped_; });
        if (stopped_) return std::nullopt;
        return awaited.state == state;
    }

    void setState(Run& changed, State state) {
        {
            std::lock_guard lock(mutex_);
            changed.state = state;
        }
        changed_.notify_all();
    }

    void writeOut(Run& written) {
        out_.write(written.text.data(), static_cast<std::streamsize>(written.used));
        setState(written, State::Free);
    }

    std::ostream& out_;
    const ResultStore& results_;
    LineFormatter mine_, theirs_;
    std::array<Run, 4> runs_;
    bool fromStart_ = true;
    std::uint32_t last_ = 0;
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Under mutex_: the states of the runs, and
    std::size_t runCount_ = std::numeric_limits<std::size_t>::max();  // known at the end of the results
    bool stopped_ = false;
    std::exception_ptr failure_;
};

}  // namespace

void writeResults(std::ostream& out, const ResultStore& results, const TextCodec& codec) {
    const auto paths = results.paths();
    if (!paths) return;
    if (results.count() > 2 * TwoLaneWriter::kRun) {
        TwoLaneWriter lanes(out, results, *paths, codec);
        if (lanes.write()) return;
    }
    LineFormatter lines(*paths, codec);
    std::vector<ResultSnapshot> batch;
    std::vector<char> text;
    std::size_t used = 0;
    bool fromStart = true;
    std::uint32_t last = 0;
    for (;;) {
        const std::size_t taken = results.snapshot(fromStart, last, kBatch, batch);
        if (taken == 0) break;
        lines.format(batch.data(), taken, text, used);
        if (used >= kBlock) {
            out.write(text.data(), static_cast<std::streamsize>(used));
            used = 0;
        }
        fromStart = false;
        last = batch[taken - 1].serial;
    }
    out.write(text.data(), static_cast<std::streamsize>(used));
}

}  // namespace corvane
