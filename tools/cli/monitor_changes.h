#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "engine/search/result_store.h"
#include "engine/search/search_passes.h"
#include "engine/values/stored_value.h"
#include "engine/text/text_codec.h"

namespace corvane {

// What `monitor --changes` prints after each cycle: the lines of the rows
// whose value or address differ from the cycle before (for the first cycle,
// from the results file's own listing), each led by the cycle's time in
// milliseconds and a tab. A million rows that hold still print nothing.
class ChangedRows {
public:
    // Keeps the rows as `results` lists them now.
    ChangedRows(const ResultStore& results, const TextCodec& codec);

    // Writes the rows changed since the last call (or since the rows were
    // kept) and keeps them as they are now. A row among `unread` that was
    // read before is written with an empty value and address, once, until it
    // is read again.
    void write(std::ostream& out, std::uint32_t milliseconds, const UnreadRows* unread = nullptr);

private:
    struct Kept {
        std::uint64_t address = 0;
        StoredValue value;
        bool unread = false;
    };
    // Takes the rows in store order; `visit` sees each with its position.
    template <typename Visit>
    void forEachRow(Visit visit);

    const ResultStore& results_;
    const TextCodec& codec_;
    std::vector<Kept> kept_;
    std::vector<ResultSnapshot> batch_;
};

}  // namespace corvane
