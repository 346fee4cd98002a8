#include "engine/dissect/instance_reads.h"

#include <algorithm>

namespace corvane {

unsigned readInstance(MemoryReader& reader, std::uint64_t address, std::size_t size, InstanceBytes& out) {
    out.bytes.assign(size, 0);
    out.readable.assign(size, 0);
    if (size == 0) return 0;
    if (reader.read(address, out.bytes.data(), size)) {
        out.readable.assign(size, 1);
        return 1;
    }
    unsigned calls = 1;
    std::size_t at = 0;
    while (at < size) {
        const std::uint64_t here = address + at;
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize - here % kPageSize, size - at));
        ++calls;
        if (reader.read(here, out.bytes.data() + at, piece)) {
            std::fill(out.readable.begin() + static_cast<std::ptrdiff_t>(at),
                      out.readable.begin() + static_cast<std::ptrdiff_t>(at + piece), std::uint8_t{1});
        } else {
            std::fill(out.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      out.bytes.begin() + static_cast<std::ptrdiff_t>(at + piece), 0);
        }
        at += piece;
    }
    return calls;
}

}  // namespace corvane
