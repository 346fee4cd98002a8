#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace corvane {

// Fresh memory costs a page fault per page the first time it is written,
// which over a gigabyte takes longer than reading the gigabyte itself. While
// one thread fills a run of fresh spans in order, a second one writes into
// each page of the spans ahead of it, so that the faults are taken on the
// other core. The filler claims each span before it writes it: from then on
// that span is its alone; a span the helper has not reached yet is not
// touched any more, and one it is touching is waited for (a few hundred
// microseconds at most).
class PrefaultAhead {
public:
    struct Span {
        unsigned char* data = nullptr;
        std::size_t size = 0;
    };

    // Starts the helper over `spans`; without a thread the spans fault as
    // they are filled, as they would have anyway.
    explicit PrefaultAhead(std::vector<Span> spans);
    // Ends the helper after the span it is touching, on every path out.
    ~PrefaultAhead();
    PrefaultAhead(const PrefaultAhead&) = delete;
    PrefaultAhead& operator=(const PrefaultAhead&) = delete;

    // Called before span `index` is written, with `index` increasing from
    // one call to the next.
    void claim(std::size_t index);

    // Spans the helper touched, for the tests.
    std::size_t touchedSpans() const { return touchedSpans_.load(std::memory_order_relaxed); }

private:
    void touchAhead();

    std::vector<Span> spans_;
    // The first span nobody has claimed: the helper claims one at a time,
    // the filler the spans it takes over (see claim()).
    std::atomic<std::size_t> unclaimed_{0};
    // The helper has finished every span below it that it claimed.
    std::atomic<std::size_t> touchedBelow_{0};
    std::atomic<std::size_t> touchedSpans_{0};
    std::atomic<bool> quit_{false};
    // How close the helper may get before the filler takes spans from it,
    // and how many it takes then.
    static constexpr std::size_t kCatchUp = 2;
    static constexpr std::size_t kTakeOver = 4;
    // The spans the filler took last, the filler's alone.
    std::size_t ownedFrom_ = 0;
    std::size_t ownedTo_ = 0;
    std::thread helper_;
};

}  // namespace corvane
