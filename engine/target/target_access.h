#pragma once

#include <cstdint>

#include "engine/target/memory_reader.h"

namespace corvane {

// A target that a first search opens afresh before it reads anything.
class TargetAccess : public MemoryReader {
public:
    // Opens the chosen process and fixes the pointer width. Returns 0, or the
    // system's error code when the process cannot be opened; every read then fails.
    virtual std::uint32_t openTarget() = 0;

    // True once the opened process has ended: its reads fail from then on,
    // and a front end may say so. False while it runs, or when nothing was opened.
    virtual bool hasExited() const { return false; }
};

}  // namespace corvane
