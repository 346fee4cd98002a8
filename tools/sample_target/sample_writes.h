#pragma once

// How the sample target writes the fields of the objects it lays out.

#include <cstring>

namespace corvane::sample {

template <typename T>
void put(unsigned char* base, unsigned offset, T value) {
    std::memcpy(base + offset, &value, sizeof value);
}

}  // namespace corvane::sample
