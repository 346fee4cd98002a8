#include "framework/fonts.h"

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "framework/scaling.h"

namespace corvane {
namespace {

std::wstring_view trim(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    return text;
}

int number(std::wstring_view text) {
    int value = 0;
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) value = value * 10 + (text[i] - L'0');
    return negative ? -value : value;
}

}  // namespace

FontSpec parseFontSpec(std::wstring_view text) {
    std::vector<std::wstring_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(L',', start);
        fields.push_back(
            trim(text.substr(start, comma == std::wstring_view::npos ? std::wstring_view::npos : comma - start)));
        if (comma == std::wstring_view::npos || fields.size() == 6) break;
        start = comma + 1;
    }
    fields.resize(6);
    FontSpec spec;
    spec.face = fields[0].empty() ? L"SimSun" : std::wstring(fields[0]);
    spec.size = number(fields[1]);
    if (spec.size == 0) spec.size = 9;
    spec.bold = number(fields[2]) != 0;
    spec.italic = number(fields[3]) != 0;
    spec.underline = number(fields[4]) != 0;
    spec.strikeout = number(fields[5]) != 0;
    return spec;
}

int fontHeight(int points, int dpiX, int dpiY) { return -MulDiv(points * dpiX / dpiY, dpiY, 72); }

HFONT fontFromSpec(const std::wstring& spec, int dpiX, int dpiY) {
    static std::mutex mutex;
    // Kept for the whole run; the same text at another dpi is another font.
    static std::map<std::tuple<std::wstring, int, int>, HFONT> fonts;
    std::lock_guard lock(mutex);
    const auto key = std::make_tuple(spec, dpiX, dpiY);
    if (const auto found = fonts.find(key); found != fonts.end()) return found->second;
    const FontSpec parsed = parseFontSpec(spec);
    LOGFONTW font{};
    font.lfHeight = fontHeight(parsed.size, dpiX, dpiY);
    font.lfWeight = parsed.bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = parsed.italic;
    font.lfUnderline = parsed.underline;
    font.lfStrikeOut = parsed.strikeout;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = parsed.size >= 24 ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, parsed.face.c_str(), LF_FACESIZE);
    HFONT handle = CreateFontIndirectW(&font);
    fonts[key] = handle;
    return handle;
}

HFONT fontFromSpec(const std::wstring& spec) {
    const DpiScale scale = screenScale(true);
    return fontFromSpec(spec, scale.dpiX, scale.dpiY);
}

}  // namespace corvane
