#include <errno.h>
#include <iconv.h>

#include <utility>

#include "engine/text/text_codec.h"

namespace corvane {
namespace {

// Linux has no per-user ANSI code page, and the program's texts are GBK, so
// both pages convert as code page 936 here. CP936 is GBK with the euro sign
// at 0x80, as Windows has it; GBK serves a C library without CP936.
constexpr const char* kCodePageNames[] = {"CP936", "GBK"};
constexpr const char* kUtf16 = "UTF-16LE";
constexpr std::size_t kUnitSize = sizeof(char16_t);

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

iconv_t openConverter(bool toUtf16) {
    for (const char* name : kCodePageNames) {
        const iconv_t cd = toUtf16 ? iconv_open(kUtf16, name) : iconv_open(name, kUtf16);
        if (cd != kNoConverter) return cd;
    }
    return kNoConverter;
}

// An iconv descriptor carries conversion state and must not be shared between
// threads; each thread opens its own pair once and keeps it until it ends.
struct Converters {
    iconv_t fromUtf16 = openConverter(false);
    iconv_t toUtf16 = openConverter(true);

    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        if (fromUtf16 != kNoConverter) iconv_close(fromUtf16);
        if (toUtf16 != kNoConverter) iconv_close(toUtf16);
    }
};

Converters& threadConverters() {
    thread_local Converters converters;
    return converters;
}

// Output space, grown when iconv runs out of it.
struct Output {
    std::string buffer;
    std::size_t used = 0;

    explicit Output(std::size_t size) : buffer(size, '\0') {}
    char* end() { return buffer.data() + used; }
    std::size_t left() const { return buffer.size() - used; }
    void grow() { buffer.resize(buffer.size() * 2 + 8); }
};

class IconvTextCodec final : public TextCodec {
public:
    std::string fromUtf16(std::u16string_view text, CodePage) const override {
        const iconv_t cd = threadConverters().fromUtf16;
        if (text.empty() || cd == kNoConverter) return {};
        iconv(cd, nullptr, nullptr, nullptr, nullptr);

        // iconv takes a non-const input pointer but never writes through it.
        char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
        std::size_t inLeft = text.size() * kUnitSize;
        // Code page 936 needs at most two bytes per unit.
        Output out(text.size() * 2);
        while (inLeft > 0) {
            char* dst = out.end();
            std::size_t dstLeft = out.left();
            const std::size_t result = iconv(cd, &in, &inLeft, &dst, &dstLeft);
            const int error = errno;
            out.used = static_cast<std::size_t>(dst - out.buffer.data());
            if (result != kFailed) break;
            if (error == E2BIG) {
                out.grow();
            } else if (error == EILSEQ || error == EINVAL) {
                // A unit without a mapping, or a lone surrogate, becomes the
                // default character, as on Windows.
                if (out.left() == 0) out.grow();
                out.buffer[out.used++] = '?';
                const std::size_t skip = inLeft < kUnitSize ? inLeft : kUnitSize;
                in += skip;
                inLeft -= skip;
            } else {
                return {};
            }
        }
        out.buffer.resize(out.used);
        return std::move(out.buffer);
    }

    bool toUtf16(std::string_view text, CodePage, std::u16string& out) const override {
        out.clear();
        if (text.empty()) return true;
        const iconv_t cd = threadConverters().toUtf16;
        if (cd == kNoConverter) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);

        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        // Every byte gives at most one unit.
        out.resize(text.size());
        char* dst = reinterpret_cast<char*>(out.data());
        std::size_t dstLeft = out.size() * kUnitSize;
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) == kFailed || inLeft != 0) {
            out.clear();
            return false;
        }
        out.resize(out.size() - dstLeft / kUnitSize);
        return true;
    }
};

}  // namespace

const TextCodec& systemTextCodec() {
    static const IconvTextCodec codec;
    return codec;
}

}  // namespace corvane
