#include "engine/native/process_reader.h"

#include <sys/uio.h>

namespace corvane {

bool LinuxProcessReader::read(std::uint64_t address, void* buffer, std::size_t size) {
    if (size == 0) return true;
    iovec local{buffer, size};
    iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), size};
    // A partial read stops at the first unreadable page; it counts as a failure.
    const ssize_t got = process_vm_readv(pid_, &local, 1, &remote, 1, 0);
    return got >= 0 && static_cast<std::size_t>(got) == size;
}

}  // namespace corvane
