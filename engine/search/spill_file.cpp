#include "engine/search/spill_file.h"

#include <string>
#include <system_error>

namespace corvane {
namespace {

constexpr std::string_view kPrefix = "corvane-snapshot-";
constexpr std::string_view kSuffix = ".tmp";
constexpr std::string_view kSecond = "-2";

}  // namespace

std::filesystem::path spillFilePath(const std::filesystem::path& folder, std::uint32_t pid) {
    return folder / (std::string(kPrefix) + std::to_string(pid) + std::string(kSuffix));
}

std::filesystem::path secondSpillPath(const std::filesystem::path& spill) {
    std::filesystem::path second = spill;
    return second.replace_filename(spill.stem().string() + std::string(kSecond) + spill.extension().string());
}

std::size_t removeStaleSpillFiles(const std::filesystem::path& folder,
                                  const std::function<bool(std::uint32_t pid)>& alive) {
    std::size_t removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
            continue;
        std::string digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
        if (digits.size() > kSecond.size() && digits.ends_with(kSecond)) digits.resize(digits.size() - kSecond.size());
        if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::uint64_t pid = std::stoull(digits);
        if (pid > UINT32_MAX || alive(static_cast<std::uint32_t>(pid))) continue;
        std::error_code ignored;
        if (std::filesystem::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

}  // namespace corvane
