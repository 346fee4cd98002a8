#pragma once

#include <string>
#include <string_view>

#include "engine/text/text_codec.h"

namespace corvane {

// A codec whose two pages are told apart, so tests see which page each kind
// converts with: the ANSI page is Latin-1 without byte FF (which is invalid),
// the GBK page knows ASCII and the two characters of "你好" only. Units
// without a mapping become "?".
class FakeTextCodec final : public TextCodec {
public:
    std::string fromUtf16(std::u16string_view text, CodePage page) const override {
        std::string out;
        for (const char16_t unit : text) {
            if (unit < 0x80 || (page == CodePage::Ansi && unit < 0xFF)) {
                out.push_back(static_cast<char>(unit));
            } else if (page == CodePage::Gbk && unit == u'你') {
                out += "\xC4\xE3";
            } else if (page == CodePage::Gbk && unit == u'好') {
                out += "\xBA\xC3";
            } else {
                out.push_back('?');
            }
        }
        return out;
    }

    bool toUtf16(std::string_view text, CodePage page, std::u16string& out) const override {
        out.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte < 0x80 || (page == CodePage::Ansi && byte != 0xFF)) {
                out.push_back(byte);
            } else if (page == CodePage::Gbk && text.substr(i, 2) == "\xC4\xE3") {
                out.push_back(u'你');
                ++i;
            } else if (page == CodePage::Gbk && text.substr(i, 2) == "\xBA\xC3") {
                out.push_back(u'好');
                ++i;
            } else {
                return false;
            }
        }
        return true;
    }
};

}  // namespace corvane
