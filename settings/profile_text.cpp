#include "settings/profile_text.h"

#include "engine/text/ascii_case.h"
#include "settings/line_breaks.h"

namespace corvane {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimBlanks(std::u16string_view text) {
    while (!text.empty() && isBlankUnit(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankUnit(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    return equalIgnoringAsciiCase(trimBlanks(a), trimBlanks(b));
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
    // Lines are cut from the bytes, not from decoded text, and keep those
    // bytes until they are edited: a file with broken sequences in it comes
    // back byte for byte wherever nothing was changed, and a broken UTF-8
    // sequence cannot swallow the line end after it. The LF byte (or the LF
    // unit, in UTF-16) is never part of a character of these encodings.
    const std::size_t unit = encoding_ == FileEncoding::Utf16Le ? 2 : 1;
    auto isLf = [&](std::size_t pos) {
        return marked.body[pos] == '\n' && (unit == 1 || marked.body[pos + 1] == '\0');
    };
    auto isCr = [&](std::size_t pos) {
        return marked.body[pos] == '\r' && (unit == 1 || marked.body[pos + 1] == '\0');
    };
    // An odd last byte of a UTF-16 file belongs to no unit; it stays with the
    // last line's bytes.
    const std::size_t whole = marked.body.size() - marked.body.size() % unit;
    std::size_t begin = 0;
    while (begin < marked.body.size()) {
        std::size_t end = begin;
        while (end < whole && !isLf(end)) end += unit;
        Line line;
        std::string_view content;
        if (end >= whole) {
            content = marked.body.substr(begin);
            line.ending = Ending::None;
            end = marked.body.size();
        } else {
            content = marked.body.substr(begin, end - begin);
            line.ending = Ending::Lf;
            if (content.size() >= unit && isCr(begin + content.size() - unit)) {
                content.remove_suffix(unit);
                line.ending = Ending::CrLf;
            }
            end += unit;
        }
        line.raw = std::string(content);
        switch (encoding_) {
            case FileEncoding::CodePage936: line.decoded = codec_.toUtf16(content, CodePage::Gbk, line.text); break;
            case FileEncoding::Utf8: line.text = utf8ToUtf16(content); break;
            case FileEncoding::Utf16Le: line.text = utf16LeToUnits(content); break;
        }
        lines_.push_back(std::move(line));
        begin = end;
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

bool ProfileText::hasSection(std::u16string_view section) const {
    return findSection(removeLineBreaks(section)) != kNone;
}

std::optional<std::u16string> ProfileText::value(std::u16string_view sectionText, std::u16string_view keyText) const {
    // Names are looked up as setValue stores them, without line breaks.
    const std::u16string section = removeLineBreaks(sectionText);
    const std::u16string key = removeLineBreaks(keyText);
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

bool ProfileText::setValue(std::u16string_view sectionText, std::u16string_view keyText,
                           std::optional<std::u16string_view> valueText) {
    // A line break would end the line early and leave the rest of the text
    // as a stray line of its own.
    const std::u16string section = removeLineBreaks(sectionText);
    const std::u16string key = removeLineBreaks(keyText);
    std::optional<std::u16string> value;
    if (valueText) value = removeLineBreaks(*valueText);

    auto makeKeyLine = [&](std::u16string_view name) {
        Line line;
        line.text.assign(trimBlanks(name));
        line.text += u'=';
        line.text += *value;
        return line;
    };
    // A line that is to be followed by another needs its line end; an odd
    // last byte of a UTF-16 file would shift every unit after it.
    auto closeLine = [this](Line& line) {
        if (line.ending != Ending::None) return;
        line.ending = Ending::CrLf;
        if (encoding_ == FileEncoding::Utf16Le && line.raw && line.raw->size() % 2 != 0) line.raw->pop_back();
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

std::string ProfileText::encode(std::u16string_view text) const {
    switch (encoding_) {
        case FileEncoding::CodePage936: return codec_.fromUtf16(text, CodePage::Gbk);
        case FileEncoding::Utf8: return utf16ToUtf8(text);
        case FileEncoding::Utf16Le: return unitsToUtf16Le(text);
    }
    return {};
}

std::string ProfileText::bytes() const {
    std::string out;
    switch (encoding_) {
        case FileEncoding::CodePage936: break;
        case FileEncoding::Utf8: out = kUtf8Mark; break;
        case FileEncoding::Utf16Le: out = kUtf16LeMark; break;
    }
    const std::string crLf = encode(u"\r\n");
    const std::string lf = encode(u"\n");
    for (const Line& line : lines_) {
        out += line.raw ? *line.raw : encode(line.text);
        if (line.ending == Ending::CrLf)
            out += crLf;
        else if (line.ending == Ending::Lf)
            out += lf;
    }
    return out;
}

}  // namespace corvane
