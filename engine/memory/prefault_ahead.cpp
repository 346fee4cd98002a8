#include "engine/memory/prefault_ahead.h"

#include <system_error>
#include <utility>

#include "engine/target/memory_reader.h"

namespace corvane {

PrefaultAhead::PrefaultAhead(std::vector<Span> spans) : spans_(std::move(spans)) {
    try {
        helper_ = std::thread([this] { touchAhead(); });
    } catch (const std::system_error&) {
        // No thread to spare: the filler takes every fault itself.
    }
}

PrefaultAhead::~PrefaultAhead() {
    quit_.store(true, std::memory_order_relaxed);
    if (helper_.joinable()) helper_.join();
}

void PrefaultAhead::touchAhead() {
    std::size_t index = unclaimed_.load(std::memory_order_relaxed);
    for (;;) {
        do {
            if (index >= spans_.size() || quit_.load(std::memory_order_relaxed)) return;
        } while (!unclaimed_.compare_exchange_weak(index, index + 1, std::memory_order_relaxed));
        // One byte per page faults the page in; the filler overwrites it.
        const Span& span = spans_[index];
        volatile unsigned char* const data = span.data;
        for (std::size_t at = 0; at < span.size; at += kPageSize) data[at] = 0;
        if (span.size != 0) data[span.size - 1] = 0;
        touchedSpans_.fetch_add(1, std::memory_order_relaxed);
        // Claimed in increasing order, so every span below it it claimed is done.
        touchedBelow_.store(index + 1, std::memory_order_release);
        ++index;
    }
}

void PrefaultAhead::claim(std::size_t index) {
    if (index >= ownedFrom_ && index < ownedTo_) return;
    // The filler fills faulted pages faster than the helper faults them, so
    // it catches up, and waiting span by span from then on it would go at
    // the helper's pace. Once the helper is only a few spans ahead, the
    // filler takes the next spans itself, faulting them as it fills them,
    // and the helper goes on past them: both keep busy.
    std::size_t unclaimed = unclaimed_.load(std::memory_order_relaxed);
    while (unclaimed <= index + kCatchUp) {
        const std::size_t to = index + kCatchUp + kTakeOver;
        if (unclaimed_.compare_exchange_weak(unclaimed, to, std::memory_order_relaxed)) {
            ownedFrom_ = unclaimed;
            ownedTo_ = to;
            if (unclaimed <= index) return;
            break;
        }
    }
    // The helper claimed it: its writes must be over before the filler's begin.
    while (touchedBelow_.load(std::memory_order_acquire) <= index) std::this_thread::yield();
}

}  // namespace corvane
