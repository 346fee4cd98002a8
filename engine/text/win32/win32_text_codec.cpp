#include <windows.h>

#include <climits>

#include "engine/text/text_codec.h"

namespace corvane {
namespace {

UINT windowsCodePage(CodePage page) { return page == CodePage::Gbk ? 936u : CP_ACP; }

// The value texts are at most a few hundred units; anything beyond int range
// is refused rather than cut.
bool fitsInt(std::size_t size) { return size <= static_cast<std::size_t>(INT_MAX); }

class Win32TextCodec final : public TextCodec {
public:
    std::string fromUtf16(std::u16string_view text, CodePage page) const override {
        if (text.empty() || !fitsInt(text.size())) return {};
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int wideLength = static_cast<int>(text.size());
        const UINT codePage = windowsCodePage(page);
        const int length = WideCharToMultiByte(codePage, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
        if (length <= 0) return {};
        std::string out(static_cast<std::size_t>(length), '\0');
        const int written = WideCharToMultiByte(codePage, 0, wide, wideLength, out.data(), length, nullptr, nullptr);
        if (written <= 0) return {};
        out.resize(static_cast<std::size_t>(written));
        return out;
    }

    bool toUtf16(std::string_view text, CodePage page, std::u16string& out) const override {
        out.clear();
        if (text.empty()) return true;
        if (!fitsInt(text.size())) return false;
        const int byteLength = static_cast<int>(text.size());
        const UINT codePage = windowsCodePage(page);
        const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), byteLength, nullptr, 0);
        if (length <= 0) return false;
        out.resize(static_cast<std::size_t>(length));
        auto* wide = reinterpret_cast<wchar_t*>(out.data());
        const int written = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), byteLength, wide, length);
        if (written <= 0) {
            out.clear();
            return false;
        }
        out.resize(static_cast<std::size_t>(written));
        return true;
    }
};

}  // namespace

const TextCodec& systemTextCodec() {
    static const Win32TextCodec codec;
    return codec;
}

}  // namespace corvane
