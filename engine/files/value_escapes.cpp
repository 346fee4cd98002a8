#include "engine/files/value_escapes.h"

#include "engine/text/hex_text.h"
#include "engine/text/utf8_encode.h"

namespace corvane {
namespace {

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Appends ASCII or UTF-8 text with the four characters that would break a
// line or its columns escaped; a backslash is doubled so that an escape in
// the text is never taken for one.
void appendEscaped(std::string& out, std::string_view text) {
    if (text.find_first_of("\t\n\r\\") == std::string_view::npos) {
        out += text;
        return;
    }
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c);
        }
    }
}

void appendByteEscape(std::string& out, unsigned char byte) {
    char digits[kMaxHexDigits];
    out += "\\x";
    // Two digits always, the high one zero where it is.
    if (byte < 0x10) out.push_back('0');
    out.append(digits, formatHex(byte, digits));
}

}  // namespace

bool isPlainText(std::string_view text) {
    for (char c : text)
        if (!isPlain(c)) return false;
    return true;
}

// A value text (code page 936) as the file holds it: UTF-8 where the text is
// valid in code page 936 and comes back from UTF-16 unchanged, otherwise its
// bytes from 0x80 up as \xHH, so that any bytes read from a target survive.
void appendValue(std::string& out, std::string_view gbk, const TextCodec& codec, std::u16string& wide) {
    if (isAscii(gbk)) return appendEscaped(out, gbk);
    if (codec.toUtf16(gbk, CodePage::Gbk, wide) && codec.fromUtf16(wide, CodePage::Gbk) == gbk)
        return appendEscaped(out, encodeUtf8(wide));
    for (char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            appendByteEscape(out, byte);
        else
            appendEscaped(out, std::string_view(&c, 1));
    }
}

// The inverse of appendValue: literal runs are UTF-8 and converted to code
// page 936, \xHH escapes are bytes of it. False for a malformed escape.
bool readValue(std::string_view text, const TextCodec& codec, std::string& out) {
    out.clear();
    if (text.find('\\') == std::string_view::npos && isAscii(text)) {
        out.assign(text);
        return true;
    }
    std::string run;
    auto flush = [&] {
        if (run.empty()) return;
        if (isAscii(run))
            out += run;
        else
            out += codec.fromUtf16(decodeUtf8Text(run), CodePage::Gbk);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            run.push_back(text[i]);
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case 't': run.push_back('\t'); break;
            case 'n': run.push_back('\n'); break;
            case 'r': run.push_back('\r'); break;
            case '\\': run.push_back('\\'); break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                const int high = hexDigitValue(text[i + 1]);
                const int low = hexDigitValue(text[i + 2]);
                if (high < 0 || low < 0) return false;
                flush();
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    flush();
    return true;
}

}  // namespace corvane
