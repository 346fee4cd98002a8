#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/search/search_settings.h"

namespace corvane {

struct FirstSearchReport {
    std::uint32_t openError = 0;  // 0, or why the target could not be opened
    std::size_t candidates = 0;
    std::size_t results = 0;
    // The addresses a snapshot stands for, kept instead of results; 0 without one.
    std::uint64_t snapshotAddresses = 0;
    std::uint32_t elapsedMs = 0;
    bool stopped = false;
};

// The engine's only way to the window. The main window implements it with
// window messages; the command-line front end and the tests implement it
// directly. Workers call it from their own threads.
class SearchSink {
public:
    virtual ~SearchSink() = default;

    // The selections and value fields as they stand now.
    virtual SearchSettings captureSettings() = 0;
    // The selected value type alone, which monitoring takes every cycle.
    virtual ValueType currentType() = 0;

    // The results list's item count; also makes it repaint its rows.
    virtual void publishCount(std::size_t count) = 0;
    virtual void setStatusText(StatusField field, const std::string& text) = 0;

    // A first search has reported its figures: the window enables its inputs,
    // gives the button its caption back and says why a target could not be opened.
    virtual void firstSearchEnded(const FirstSearchReport& report) = 0;
    // A reformat has ended: the inputs, the second-pass buttons included, come back.
    virtual void reformatEnded() = 0;
};

}  // namespace corvane
