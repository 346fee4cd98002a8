#include "engine/target/memory_reader.h"

namespace corvane {

std::uint64_t loadPointer(const unsigned char* bytes, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = width; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

bool readPointer(MemoryReader& reader, std::uint64_t address, std::uint64_t& slot) {
    unsigned char bytes[8];
    const unsigned width = reader.pointerWidth();
    if (!reader.read(address, bytes, width)) return false;
    slot = loadPointer(bytes, width);
    return true;
}

}  // namespace corvane
