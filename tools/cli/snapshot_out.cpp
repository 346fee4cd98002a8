#include "tools/cli/snapshot_out.h"

#include <memory>
#include <stdexcept>
#include <system_error>

namespace corvane {

void SnapshotOut::attach(SearchEngine& engine) {
    engine.makeSnapshotStore = [this]() -> std::unique_ptr<SnapshotStore> {
        auto writer = std::make_unique<SnapshotFileWriter>(std::filesystem::path(file_ + ".part"));
        writer_ = writer.get();
        return writer;
    };
}

void SnapshotOut::finish(const MemorySnapshot& snapshot) {
    if (writer_ == nullptr || snapshot.store.get() != writer_)
        throw std::logic_error("the snapshot was not written to " + file_);
    writer_->finish(snapshot);
    std::error_code error;
    std::filesystem::rename(writer_->path(), file_, error);
    if (error) throw std::runtime_error("cannot write " + file_ + ": " + error.message());
}

}  // namespace corvane
