#include "engine/target/native/process_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

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
    // Signal 0 tells whether the process exists (and may be signalled). A
    // zero-length read is never checked against the caller's rights, but
    // opening the region list is, by the rule the reads follow: a process
    // whose memory even root may not read (init in a container) fails here.
    if (kill(pid_, 0) != 0 && errno != EPERM) return static_cast<std::uint32_t>(errno);
    const std::string maps = "/proc/" + std::to_string(pid_) + "/maps";
    const int file = open(maps.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return static_cast<std::uint32_t>(errno == ENOENT ? ESRCH : errno);
    close(file);
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

namespace {

// One line of /proc/PID/maps: start-end perms offset device inode, then the
// path after blanks (empty for an anonymous mapping).
struct Mapping {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    std::string path;
};

std::vector<Mapping> readMaps(pid_t pid) {
    std::vector<Mapping> mappings;
    if (pid <= 0) return mappings;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line)) {
        Mapping mapping;
        char* rest = nullptr;
        mapping.start = std::strtoull(line.c_str(), &rest, 16);
        if (rest == nullptr || *rest != '-') continue;
        mapping.end = std::strtoull(rest + 1, &rest, 16);
        if (rest == nullptr || *rest != ' ' || rest[1] == '\0' || rest[2] == '\0' || rest[3] == '\0') continue;
        mapping.readable = rest[1] == 'r';
        mapping.writable = rest[2] == 'w';
        mapping.executable = rest[3] == 'x';
        std::size_t field = 0;
        std::size_t pos = 0;
        while (field < 5 && pos < line.size()) {
            pos = line.find(' ', pos);
            if (pos == std::string::npos) break;
            while (pos < line.size() && line[pos] == ' ') ++pos;
            ++field;
        }
        if (field == 5 && pos < line.size()) mapping.path = line.substr(pos);
        mappings.push_back(std::move(mapping));
    }
    return mappings;
}

// The file name of a mapped file, or nothing for an anonymous or special
// mapping ([heap], [stack]). A file replaced on disk since it was mapped
// keeps its mappings.
std::string_view mappedFileName(std::string_view path) {
    if (path.empty() || path.front() != '/') return {};
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::optional<std::uint64_t> LinuxProcessReader::moduleBase(std::string_view name) {
    // The same images the scans take for statics, so a path found from a
    // module resolves against the same start.
    for (const ModuleImage& image : moduleImages())
        if (sameModuleName(image.name, name)) return image.start;
    return std::nullopt;
}

std::vector<MemoryRegion> LinuxProcessReader::readableRegions() {
    std::vector<MemoryRegion> regions;
    for (const Mapping& mapping : readMaps(pid_)) {
        // The vsyscall page lies above user space and cannot be read from another process.
        if (!mapping.readable || mapping.end <= mapping.start || mapping.path == "[vsyscall]" ||
            mapping.path == "[vvar]")
            continue;
        regions.push_back({mapping.start, mapping.end - mapping.start, mapping.writable});
    }
    return regions;
}

std::vector<ModuleImage> LinuxProcessReader::moduleImages() {
    const std::vector<Mapping> mappings = readMaps(pid_);
    std::vector<ModuleImage> images;
    // The mappings come in address order; one file's mappings are gathered
    // under the path, from its lowest start to its highest end.
    std::vector<std::string> paths;
    std::vector<bool> runs;
    for (const Mapping& mapping : mappings) {
        const std::string_view file = mappedFileName(mapping.path);
        if (file.empty()) continue;
        std::size_t at = 0;
        while (at < paths.size() && paths[at] != mapping.path) ++at;
        if (at == paths.size()) {
            paths.push_back(mapping.path);
            runs.push_back(mapping.executable);
            images.push_back({std::string(file), mapping.start, mapping.end - mapping.start});
            continue;
        }
        if (mapping.executable) runs[at] = true;
        ModuleImage& image = images[at];
        const std::uint64_t end = std::max(image.end(), mapping.end);
        image.start = std::min(image.start, mapping.start);
        image.size = end - image.start;
    }
    // A program file has code the target runs; a file it only reads (a
    // locale archive, a font, a cache) is data, and the anonymous mapping
    // that happens to follow it is no .bss of its.
    for (std::size_t i = images.size(); i-- > 0;)
        if (!runs[i]) images.erase(images.begin() + static_cast<std::ptrdiff_t>(i));
    // An anonymous mapping that starts exactly at an image's end is its .bss.
    for (ModuleImage& image : images)
        for (const Mapping& mapping : mappings)
            if (mapping.path.empty() && mapping.start == image.end()) image.size = mapping.end - image.start;
    std::sort(images.begin(), images.end(),
              [](const ModuleImage& a, const ModuleImage& b) { return a.start < b.start; });
    return images;
}

}  // namespace corvane
