#include "engine/native/process_reader.h"

#include <signal.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace corvane {

bool LinuxProcessReader::read(std::uint64_t address, void* buffer, std::size_t size) {
    if (size == 0) return true;
    iovec local{buffer, size};
    iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), size};
    // A partial read stops at the first unreadable page; it counts as a failure.
    const ssize_t got = process_vm_readv(pid_, &local, 1, &remote, 1, 0);
    return got >= 0 && static_cast<std::size_t>(got) == size;
}

std::uint32_t LinuxProcessReader::openTarget() {
    if (pid_ <= 0) return ESRCH;
    // Signal 0 tells whether the process exists (and may be signalled), and a
    // zero-length read whether it may be read, without reading anything.
    if (kill(pid_, 0) != 0 && errno != EPERM) return static_cast<std::uint32_t>(errno);
    iovec local{nullptr, 0};
    iovec remote{nullptr, 0};
    if (process_vm_readv(pid_, &local, 1, &remote, 1, 0) < 0) return static_cast<std::uint32_t>(errno);
    return 0;
}

bool LinuxProcessReader::hasExited() const {
    if (pid_ <= 0) return false;
    const std::string path = "/proc/" + std::to_string(pid_) + "/stat";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return true;
    char line[512] = {};
    const bool got = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!got) return true;
    // The state follows the command name, which is in parentheses and may
    // itself hold any character.
    const char* close = std::strrchr(line, ')');
    if (close == nullptr || close[1] == '\0' || close[2] == '\0') return false;
    return close[2] == 'Z' || close[2] == 'X';
}

std::optional<std::uint64_t> LinuxProcessReader::moduleBase(std::string_view name) {
    if (pid_ <= 0) return std::nullopt;
    std::ifstream maps("/proc/" + std::to_string(pid_) + "/maps");
    std::optional<std::uint64_t> lowest;
    std::string line;
    while (std::getline(maps, line)) {
        // start-end perms offset device inode, then the path after blanks.
        std::size_t field = 0;
        std::size_t pos = 0;
        while (field < 5 && pos < line.size()) {
            pos = line.find(' ', pos);
            if (pos == std::string::npos) break;
            while (pos < line.size() && line[pos] == ' ') ++pos;
            ++field;
        }
        if (field < 5 || pos >= line.size() || line[pos] != '/') continue;
        std::string_view path(line.c_str() + pos, line.size() - pos);
        // A file replaced on disk since it was mapped keeps its mappings.
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
        const std::string_view base = path.substr(path.rfind('/') + 1);
        if (!sameModuleName(base, name)) continue;
        const std::uint64_t start = std::strtoull(line.c_str(), nullptr, 16);
        if (!lowest || start < *lowest) lowest = start;
    }
    return lowest;
}

}  // namespace corvane
