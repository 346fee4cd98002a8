#include "settings/file_text.h"

#include <span>
#include <vector>

#include "engine/text/utf8_decode.h"

namespace corvane {

MarkedText splitByteOrderMark(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Mark)) return {FileEncoding::Utf8, bytes.substr(kUtf8Mark.size())};
    if (bytes.starts_with(kUtf16LeMark)) return {FileEncoding::Utf16Le, bytes.substr(kUtf16LeMark.size())};
    return {FileEncoding::CodePage936, bytes};
}

std::u16string utf8ToUtf16(std::string_view bytes) {
    std::u16string out;
    std::vector<char16_t> buffer;
    // The decoder ends its text at a NUL byte; a file goes on after one.
    std::size_t begin = 0;
    while (begin <= bytes.size()) {
        std::size_t end = bytes.find('\0', begin);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view piece = bytes.substr(begin, end - begin);
        buffer.resize(piece.size());
        const std::span<const unsigned char> span(reinterpret_cast<const unsigned char*>(piece.data()), piece.size());
        // A broken sequence must not take the characters after it along.
        const std::size_t units = decodeUtf8(span, buffer.data(), Utf8Recovery::Resynchronise);
        out.append(buffer.data(), units);
        if (end == bytes.size()) break;
        out.push_back(u'\0');
        begin = end + 1;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    auto put = [&out](unsigned value) { out.push_back(static_cast<char>(value)); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16LeToUnits(std::string_view bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = static_cast<char16_t>(low | (high << 8));
    }
    return out;
}

std::string unitsToUtf16Le(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

std::string fileTextAsCodePage936(std::string_view bytes, const TextCodec& codec) {
    const MarkedText marked = splitByteOrderMark(bytes);
    switch (marked.encoding) {
        case FileEncoding::Utf8: return codec.fromUtf16(utf8ToUtf16(marked.body), CodePage::Gbk);
        case FileEncoding::Utf16Le: return codec.fromUtf16(utf16LeToUnits(marked.body), CodePage::Gbk);
        case FileEncoding::CodePage936: break;
    }
    return std::string(marked.body);
}

}  // namespace corvane
