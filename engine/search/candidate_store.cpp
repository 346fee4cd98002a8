#include "engine/search/candidate_store.h"

namespace corvane {

void CandidateStore::reset(std::vector<StructureRow> rows) {
    rows_ = std::move(rows);
    entries_.clear();
    paths_ = std::make_shared<PathTable>();
}

void CandidateStore::appendCandidate(std::uint32_t parent, std::uint32_t index, std::uint64_t address) {
    entries_.push_back({address, parent, index});
}

std::vector<std::int64_t> CandidateStore::pathOffsets(std::size_t i) const {
    std::vector<std::int64_t> offsets;
    paths_->offsets(entries_[i].parent, leafOffset(i), offsets);
    return offsets;
}

void CandidateStore::appendPathText(std::size_t i, std::string& out) const {
    paths_->appendPathText(entries_[i].parent, leafOffset(i), out);
}

std::string CandidateStore::pathText(std::size_t i) const {
    std::string text;
    appendPathText(i, text);
    return text;
}

}  // namespace corvane
