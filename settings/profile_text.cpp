#include "settings/profile_text.h"

namespace corvane {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimBlanks(std::u16string_view text) {
    while (!text.empty() && isBlankUnit(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankUnit(text.back())) text.remove_suffix(1);
    return text;
}

char16_t foldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
    a = trimBlanks(a);
    b = trimBlanks(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    }
    return true;
}

// The name of a section line: from after "[" to the last "]".
std::optional<std::u16string_view> sectionName(std::u16string_view line) {
    while (!line.empty() && isBlankUnit(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() != u'[') return std::nullopt;
    const std::size_t close = line.rfind(u']');
    if (close == 0 || close == std::u16string_view::npos) return std::nullopt;
    return trimBlanks(line.substr(1, close - 1));
}

struct KeyLine {
    std::u16string_view key;
    std::u16string_view value;
};

std::optional<KeyLine> keyLine(std::u16string_view line) {
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) return std::nullopt;
    return KeyLine{trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1))};
}

bool isBlankLine(std::u16string_view line) { return trimBlanks(line).empty(); }

}  // namespace

ProfileText::ProfileText(std::string_view bytes, const TextCodec& codec) : codec_(codec) {
    const MarkedText marked = splitByteOrderMark(bytes);
    encoding_ = marked.encoding;
    if (encoding_ == FileEncoding::CodePage936) {
        // 0x0A is never the second byte of a double-byte character.
        std::size_t begin = 0;
        while (begin < marked.body.size()) {
            std::size_t end = marked.body.find('\n', begin);
            Line line;
            std::string_view content;
            if (end == std::string_view::npos) {
                content = marked.body.substr(begin);
                line.ending = Ending::None;
                end = marked.body.size();
            } else {
                content = marked.body.substr(begin, end - begin);
                line.ending = Ending::Lf;
                if (!content.empty() && content.back() == '\r') {
                    content.remove_suffix(1);
                    line.ending = Ending::CrLf;
                }
            }
            line.raw = std::string(content);
            line.decoded = codec_.toUtf16(content, CodePage::Gbk, line.text);
            lines_.push_back(std::move(line));
            begin = end + 1;
        }
        return;
    }
    const std::u16string text =
        encoding_ == FileEncoding::Utf8 ? utf8ToUtf16(marked.body) : utf16LeToUnits(marked.body);
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find(u'\n', begin);
        Line line;
        if (end == std::u16string::npos) {
            line.text = text.substr(begin);
            line.ending = Ending::None;
            end = text.size();
        } else {
            line.text = text.substr(begin, end - begin);
            line.ending = Ending::Lf;
            if (!line.text.empty() && line.text.back() == u'\r') {
                line.text.pop_back();
                line.ending = Ending::CrLf;
            }
        }
        lines_.push_back(std::move(line));
        begin = end + 1;
    }
}

std::size_t ProfileText::findSection(std::u16string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].decoded) continue;
        const auto name = sectionName(lines_[i].text);
        if (name && sameName(*name, section)) return i;
    }
    return kNone;
}

std::size_t ProfileText::sectionEnd(std::size_t sectionLine) const {
    std::size_t i = sectionLine + 1;
    while (i < lines_.size() && !(lines_[i].decoded && sectionName(lines_[i].text))) ++i;
    return i;
}

std::optional<std::u16string> ProfileText::value(std::u16string_view section, std::u16string_view key) const {
    const std::size_t start = findSection(section);
    if (start == kNone) return std::nullopt;
    const std::size_t end = sectionEnd(start);
    for (std::size_t i = start + 1; i < end; ++i) {
        if (!lines_[i].decoded) continue;
        const auto entry = keyLine(lines_[i].text);
        if (entry && sameName(entry->key, key)) return std::u16string(entry->value);
    }
    return std::nullopt;
}

bool ProfileText::setValue(std::u16string_view section, std::u16string_view key,
                           std::optional<std::u16string_view> value) {
    auto makeKeyLine = [&](std::u16string_view name) {
        Line line;
        line.text.assign(trimBlanks(name));
        line.text += u'=';
        line.text += *value;
        return line;
    };
    // A line that is to be followed by another needs its line end.
    auto closeLine = [](Line& line) {
        if (line.ending == Ending::None) line.ending = Ending::CrLf;
    };

    const std::size_t start = findSection(section);
    if (start == kNone) {
        if (!value) return false;
        if (!lines_.empty()) closeLine(lines_.back());
        Line header;
        header.text = u"[";
        header.text += trimBlanks(section);
        header.text += u']';
        lines_.push_back(std::move(header));
        lines_.push_back(makeKeyLine(key));
        return true;
    }

    const std::size_t end = sectionEnd(start);
    std::size_t lastContent = start;
    for (std::size_t i = start + 1; i < end; ++i) {
        if (!lines_[i].decoded) {
            lastContent = i;
            continue;
        }
        if (!isBlankLine(lines_[i].text)) lastContent = i;
        const auto entry = keyLine(lines_[i].text);
        if (!entry || !sameName(entry->key, key)) continue;
        if (!value) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
        // The key keeps the spelling the file gave it.
        Line replaced = makeKeyLine(entry->key);
        replaced.ending = lines_[i].ending;
        lines_[i] = std::move(replaced);
        return true;
    }
    if (!value) return false;
    closeLine(lines_[lastContent]);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), makeKeyLine(key));
    return true;
}

std::string ProfileText::bytes() const {
    if (encoding_ == FileEncoding::CodePage936) {
        std::string out;
        for (const Line& line : lines_) {
            out += line.raw ? *line.raw : codec_.fromUtf16(line.text, CodePage::Gbk);
            if (line.ending == Ending::CrLf)
                out += "\r\n";
            else if (line.ending == Ending::Lf)
                out += '\n';
        }
        return out;
    }
    std::u16string text;
    for (const Line& line : lines_) {
        text += line.text;
        if (line.ending == Ending::CrLf)
            text += u"\r\n";
        else if (line.ending == Ending::Lf)
            text += u'\n';
    }
    if (encoding_ == FileEncoding::Utf8) return std::string(kUtf8Mark) + utf16ToUtf8(text);
    return std::string(kUtf16LeMark) + unitsToUtf16Le(text);
}

}  // namespace corvane
