#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/text_codec.h"
#include "settings/file_text.h"

namespace corvane {

// A profile (INI) file held in memory and edited the way the platform's
// profile service edits it, for builds that have no such service:
//  - lines end in CRLF or LF; a section line is "[name]" (blanks before "["
//    allowed), a key line is key "=" value; blanks around names and values
//    are not part of them; other lines are kept and never match;
//  - section and key names match without regard to ASCII letter case; the
//    first matching section, and its first matching key, is the one used;
//  - a new key goes after the last non-blank line of its section, a new
//    section ("[name]" CRLF key=value CRLF) at the end of the file;
//  - the text keeps its encoding (code page 936, or UTF-8 or UTF-16LE after
//    their marks), and lines it does not change keep their bytes exactly,
//    whatever they hold (broken sequences included);
//  - CR and LF never reach a name or value written: they are removed.
// Quotes around values are not treated specially.
class ProfileText {
public:
    ProfileText(std::string_view bytes, const TextCodec& codec);

    std::optional<std::u16string> value(std::u16string_view section, std::u16string_view key) const;
    bool hasSection(std::u16string_view section) const;

    // Sets the key, or removes it when `value` is empty (nullopt); false when
    // nothing changed.
    bool setValue(std::u16string_view section, std::u16string_view key, std::optional<std::u16string_view> value);

    std::string bytes() const;

private:
    enum class Ending : std::uint8_t { None, Lf, CrLf };
    struct Line {
        std::u16string text;
        Ending ending = Ending::CrLf;
        // The line's own bytes, without its line end, while it is unchanged,
        // so that text that does not decode is written back as it was.
        std::optional<std::string> raw;
        // False for a code page 936 line that is no code page 936 text: it
        // never matches a name.
        bool decoded = true;
    };

    std::string encode(std::u16string_view text) const;

    std::size_t findSection(std::u16string_view section) const;
    std::size_t sectionEnd(std::size_t sectionLine) const;

    const TextCodec& codec_;
    FileEncoding encoding_ = FileEncoding::CodePage936;
    std::vector<Line> lines_;
};

}  // namespace corvane
