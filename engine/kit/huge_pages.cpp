#include "engine/kit/huge_pages.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvane {

namespace {

#if defined(__linux__)
constexpr std::align_val_t kHugeBound{std::size_t{2} << 20};
#endif

}  // namespace

void adviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (bytes < kHugePageWorthy) return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHuge - 1);
    // Advice only: where it is refused the memory is as good, only slower.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    // Large pages on Windows need a privilege users do not hold: fresh memory
    // there is faulted in as it comes.
}

FreshBytes freshBytes(std::size_t size) {
#if defined(__linux__)
    auto* bytes = static_cast<unsigned char*>(::operator new[](size, kHugeBound));
    adviseHugePages(bytes, size);
    return FreshBytes(bytes);
#else
    return FreshBytes(new unsigned char[size]);
#endif
}

void FreeFreshBytes::operator()(unsigned char* bytes) const {
#if defined(__linux__)
    ::operator delete[](bytes, kHugeBound);
#else
    delete[] bytes;
#endif
}

}  // namespace corvane
