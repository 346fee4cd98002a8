#pragma once

#include <filesystem>
#include <string>

#include "engine/files/snapshot_file.h"
#include "engine/search/search_engine.h"

namespace corvane {

// The snapshot file of a `first` over a memory row, written as the memory is
// read, so that the command line never holds the whole snapshot. It goes to
// FILE.part first and takes its name once whole: a run stopped by Ctrl+C,
// by a failure or by a kill never leaves a file at FILE that looks whole.
class SnapshotOut {
public:
    explicit SnapshotOut(std::string file) : file_(std::move(file)) {}

    // From now on the engine's snapshots go to the file.
    void attach(SearchEngine& engine);
    // After the first search kept `snapshot`: its table is written and the
    // file put in place. Throws std::runtime_error when it cannot be.
    void finish(const MemorySnapshot& snapshot);
    // Whether a snapshot began to be written.
    bool started() const { return writer_ != nullptr; }

private:
    std::string file_;
    SnapshotFileWriter* writer_ = nullptr;
};

}  // namespace corvane
