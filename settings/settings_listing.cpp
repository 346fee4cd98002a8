#include "settings/settings_listing.h"

#include "engine/text/ascii_case.h"
#include "settings/file_system.h"
#include "settings/file_text.h"
#include "settings/gbk_chars.h"
#include "settings/settings_paths.h"

namespace corvane {
namespace {

bool endsWithIniExtension(std::u16string_view name) {
    if (name.size() < kSettingsFileExtension.size()) return false;
    return equalIgnoringAsciiCase(name.substr(name.size() - kSettingsFileExtension.size()), kSettingsFileExtension);
}

// The section name of one line, if it is a section line.
std::optional<std::string> sectionNameOf(std::string_view line) {
    if (line.empty() || line.front() != '[') return std::nullopt;
    std::string name;
    bool lastIsClose = false;
    for (std::size_t pos = 0; pos < line.size();) {
        const std::size_t length = gbkCharLength(line, pos);
        const bool bracket = length == 1 && (line[pos] == '[' || line[pos] == ']');
        lastIsClose = length == 1 && line[pos] == ']';
        if (!bracket) name.append(line.substr(pos, length));
        pos += length;
    }
    if (!lastIsClose) return std::nullopt;
    return name;
}

}  // namespace

std::vector<std::string> listSettingsFiles(std::u16string_view folder, const std::function<void()>& pumpMessages) {
    const TextCodec& codec = systemTextCodec();
    std::vector<std::string> titles;
    std::size_t seen = 0;
    forEachSettingsFileCandidate(folder, [&](const DirectoryEntry& entry) {
        if (!endsWithIniExtension(entry.name)) return;
        ++seen;
        if (!entry.system) titles.push_back(fileTitle(codec.fromUtf16(entry.name, CodePage::Gbk)));
        if (seen > kEntriesBeforeMessagePump && pumpMessages) pumpMessages();
    });
    return titles;
}

std::vector<std::string> sectionNamesInFile(std::string_view bytes, const TextCodec& codec) {
    const std::string text = fileTextAsCodePage936(bytes, codec);
    std::vector<std::string> names;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find("\r\n", begin);
        if (end == std::string::npos) end = text.size();
        if (auto name = sectionNameOf(std::string_view(text).substr(begin, end - begin))) {
            names.push_back(std::move(*name));
        }
        begin = end + 2;
    }
    return names;
}

std::vector<std::string> listSectionNames(std::u16string_view file) {
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) return {};
    return sectionNamesInFile(*bytes, systemTextCodec());
}

}  // namespace corvane
