// The settings files: the INI editor used where Windows' profile service is
// missing (what is set reads back, also after a trip through the file's
// bytes, and lines that were not edited keep their bytes, in every
// encoding), the section listing and the settings file listing.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/text/text_codec.h"
#include "settings/file_text.h"
#include "settings/profile_text.h"
#include "settings/settings_listing.h"
#include "settings/settings_paths.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/settings/temp_folder.h"

namespace corvane::fuzz {
namespace {

const TextCodec& codec() { return systemTextCodec(); }

// Units names and values are made of: letters in both cases, blanks, the
// INI's own punctuation, line breaks, and double-byte characters, among them
// 乗 and 乤, whose code page 936 trail bytes are "\" and "a". All have a
// code page 936 form, so every file encoding can hold them.
constexpr char16_t kUnits[] = {u'a', u'b',  u'A',  u'B', u'k', u'1',  u' ',  u'\t', u'.',  u'=',  u'[',
                               u']', u'\r', u'\n', u';', u'"', u'游', u'戏', u'乗', u'乤', u'丄', u'é'};

std::u16string unitsText(Input& input, std::size_t max) {
    std::u16string text;
    const std::size_t length = input.byte() % (max + 1);
    for (std::size_t i = 0; i < length; ++i) text += kUnits[input.byte() % std::size(kUnits)];
    return text;
}

bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string trimmed(std::u16string_view text) {
    while (!text.empty() && isBlankUnit(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankUnit(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

std::u16string withoutBreaks(std::u16string_view text) {
    std::u16string out;
    for (const char16_t c : text) {
        if (c != u'\r' && c != u'\n') out += c;
    }
    return out;
}

std::u16string folded(std::u16string_view text) {
    std::u16string out = trimmed(withoutBreaks(text));
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

std::string narrow(std::u16string_view text) { return hexOf(utf16ToUtf8(text)); }

// One line of a file: its bytes without the line end, and the line end.
struct RawLine {
    std::string content;
    std::string ending;
};

struct SplitFile {
    std::string mark;
    std::size_t unit = 1;
    std::vector<RawLine> lines;
};

SplitFile splitFile(std::string_view bytes) {
    SplitFile file;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        file.mark = "\xEF\xBB\xBF";
    } else if (bytes.starts_with("\xFF\xFE")) {
        file.mark = "\xFF\xFE";
        file.unit = 2;
    }
    bytes.remove_prefix(file.mark.size());
    const std::size_t unit = file.unit;
    auto unitIs = [&](std::size_t pos, char c) {
        return pos + unit <= bytes.size() && bytes[pos] == c && (unit == 1 || bytes[pos + 1] == '\0');
    };
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = begin;
        while (end + unit <= bytes.size() && !unitIs(end, '\n')) end += unit;
        RawLine line;
        if (end + unit > bytes.size()) {
            line.content = bytes.substr(begin);
            file.lines.push_back(line);
            break;
        }
        std::size_t contentEnd = end;
        if (contentEnd >= begin + unit && unitIs(contentEnd - unit, '\r')) contentEnd -= unit;
        line.content = bytes.substr(begin, contentEnd - begin);
        line.ending = bytes.substr(contentEnd, end + unit - contentEnd);
        file.lines.push_back(line);
        begin = end + unit;
    }
    return file;
}

// An edit replaces, removes or adds a line, or adds a section line and its
// key; every other line keeps its bytes and its line end.
void checkUneditedLinesKept(std::string_view before, std::string_view after, bool changed) {
    if (!changed) {
        FUZZ_CHECK(before == after, "a change that was no change rewrote the file");
        return;
    }
    const SplitFile old = splitFile(before);
    const SplitFile now = splitFile(after);
    if (!before.empty()) FUZZ_CHECK(old.mark == now.mark, "the byte order mark changed");
    const auto& a = old.lines;
    const auto& b = now.lines;
    // The same line: the same bytes, the same line end, but for the last line
    // of the file, which gets one when a line is added after it.
    auto same = [&](std::size_t i, std::size_t j) {
        return a[i].content == b[j].content &&
               (a[i].ending == b[j].ending || (i + 1 == a.size() && a[i].ending.empty()));
    };
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && same(prefix, prefix)) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           same(a.size() - 1 - suffix, b.size() - 1 - suffix)) {
        ++suffix;
    }
    const std::size_t removed = a.size() - prefix - suffix;
    const std::size_t added = b.size() - prefix - suffix;
    // An odd last byte of a UTF-16 file goes when a line is added after it.
    const bool oddTail = old.unit == 2 && (before.size() - old.mark.size()) % 2 != 0;
    FUZZ_CHECK(removed <= 1 && added <= (oddTail ? 3u : 2u), "removed " + std::to_string(removed) + " lines, added " +
                                                                 std::to_string(added) + "\n  before " + hexOf(before) +
                                                                 "\n  after  " + hexOf(after));
}

void checkEdits(Input& input) {
    static constexpr std::string_view kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE"};
    std::string bytes(kMarks[input.byte() % 3]);
    bytes += input.text(160);

    // The last value set for each (section, key), names compared as the
    // editor compares them.
    std::map<std::pair<std::u16string, std::u16string>, std::pair<std::u16string, std::u16string>> set;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> expected;
    const std::size_t edits = 1 + input.byte() % 4;
    for (std::size_t e = 0; e < edits; ++e) {
        const std::u16string section = unitsText(input, 6);
        const std::u16string key = unitsText(input, 4);
        const bool remove = input.byte() % 5 == 0;
        const std::u16string value = unitsText(input, 8);
        // A key holding "=" or starting with "[" would be read back as
        // another key or as a section line: no caller writes such keys.
        const std::u16string cleanKey = trimmed(withoutBreaks(key));
        if (cleanKey.find(u'=') != std::u16string::npos || cleanKey.starts_with(u'[')) continue;

        ProfileText text(bytes, codec());
        const bool changed =
            text.setValue(section, key, remove ? std::nullopt : std::optional<std::u16string_view>(value));
        const std::string after = text.bytes();
        checkUneditedLinesKept(bytes, after, changed);
        bytes = after;

        const auto name = std::make_pair(folded(section), folded(key));
        if (remove) {
            // A key the file held twice still has its second line.
            expected.erase(name);
        } else {
            expected[name] = trimmed(withoutBreaks(value));
            set[name] = {section, key};
        }
    }
    const ProfileText reread(bytes, codec());
    for (const auto& [name, value] : expected) {
        const auto& [section, key] = set[name];
        const std::optional<std::u16string> got = reread.value(section, key);
        FUZZ_CHECK(got == value, "section " + narrow(section) + " key " + narrow(key) + ": got " +
                                     (got ? narrow(*got) : std::string("nothing")) + ", set " + narrow(value));
    }
}

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// The listing's rules over code page 936 text: lines end at CRLF; a section
// line starts with the character "[" and ends with the character "]"; its
// name is the line without those characters.
std::vector<std::string> referenceSectionNames(std::string_view text) {
    std::vector<std::string> names;
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", begin);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        const std::string_view line = text.substr(begin, end - begin);
        std::string name;
        std::string lastCharacter;
        for (std::size_t i = 0; i < line.size();) {
            const bool pair = i + 1 < line.size() && isLead(static_cast<unsigned char>(line[i])) &&
                              isTrail(static_cast<unsigned char>(line[i + 1]));
            lastCharacter = line.substr(i, pair ? 2 : 1);
            if (lastCharacter != "[" && lastCharacter != "]") name += lastCharacter;
            i += pair ? 2 : 1;
        }
        if (line.starts_with('[') && lastCharacter == "]") names.push_back(name);
        if (last) break;
        begin = end + 2;
    }
    return names;
}

void checkSectionListing(Input& input) {
    const std::string bytes = input.rest();
    const std::vector<std::string> names = sectionNamesInFile(bytes, codec());
    const std::vector<std::string> expected = referenceSectionNames(fileTextAsCodePage936(bytes, codec()));
    FUZZ_CHECK(names == expected, std::to_string(names.size()) + " names, expected " + std::to_string(expected.size()));
}

void checkFileListing(Input& input) {
    static const TempFolder temp;
    const std::filesystem::path root = std::filesystem::path(utf16ToUtf8(temp.folder()));
    for (const auto& entry : std::filesystem::directory_iterator(root)) std::filesystem::remove_all(entry.path());

    static constexpr std::u16string_view kEndings[] = {u".ini", u".INI", u".Ini", u".ini.bak", u"ini", u""};
    std::vector<std::string> expected;
    const std::size_t count = input.byte() % 5;
    for (std::size_t i = 0; i < count; ++i) {
        std::u16string name = withoutBreaks(unitsText(input, 6));
        name += kEndings[input.byte() % std::size(kEndings)];
        const bool folder = input.flag();
        if (name.empty() || name == u"." || name == u"..") continue;
        const std::filesystem::path path = root / utf16ToUtf8(name);
        std::error_code error;
        if (std::filesystem::exists(path, error)) continue;
        if (folder) {
            std::filesystem::create_directory(path, error);
        } else {
            std::ofstream(path, std::ios::binary) << "[s]\r\n";
        }
        if (!std::filesystem::exists(path, error)) continue;
        std::u16string tail = name.substr(name.size() >= 4 ? name.size() - 4 : 0);
        for (char16_t& c : tail) {
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        }
        if (tail == u".ini") expected.push_back(fileTitle(codec().fromUtf16(name, CodePage::Gbk)));
    }
    std::vector<std::string> titles = listSettingsFiles(temp.folder());
    std::sort(titles.begin(), titles.end());
    std::sort(expected.begin(), expected.end());
    FUZZ_CHECK(titles == expected,
               std::to_string(titles.size()) + " titles, expected " + std::to_string(expected.size()));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    Input input(data, size);
    switch (input.byte() % 3) {
        case 0: checkEdits(input); break;
        case 1: checkSectionListing(input); break;
        default: checkFileListing(input); break;
    }
    return 0;
}
