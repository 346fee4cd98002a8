#include <windows.h>

#include <optional>

#include "engine/text/text_codec.h"
#include "settings/profile_platform.h"

namespace corvane {
namespace {

std::optional<std::wstring> widen(std::string_view text) {
    std::u16string wide;
    if (!systemTextCodec().toUtf16(text, CodePage::Gbk, wide)) return std::nullopt;
    return std::wstring(wide.begin(), wide.end());
}

// The first read uses the classic 8172-byte buffer (4086 units); a longer
// value, such as the structure text of a few hundred rows, must not come back
// cut, as the rows after the cut would be lost without a word.
constexpr DWORD kFirstBufferUnits = 8172 / sizeof(wchar_t);
constexpr DWORD kLargestBufferUnits = 1u << 28;

}  // namespace

std::string platformProfileReadString(std::u16string_view file, std::string_view section, std::string_view key,
                                      std::string_view defaultValue) {
    const auto wideSection = widen(section);
    const auto wideKey = widen(key);
    const auto wideDefault = widen(defaultValue);
    if (!wideSection || !wideKey || !wideDefault) return std::string(defaultValue);
    const std::wstring path(file.begin(), file.end());

    std::wstring buffer;
    DWORD units = kFirstBufferUnits;
    for (;;) {
        buffer.assign(units, L'\0');
        const DWORD copied = GetPrivateProfileStringW(wideSection->c_str(), wideKey->c_str(), wideDefault->c_str(),
                                                      buffer.data(), units, path.c_str());
        // A value that fills the buffer to its last unit may have been cut.
        if (copied + 1 < units || units >= kLargestBufferUnits) {
            buffer.resize(copied);
            break;
        }
        units *= 2;
    }
    const std::u16string_view value(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
    return systemTextCodec().fromUtf16(value, CodePage::Gbk);
}

bool platformProfileWriteString(std::u16string_view file, std::string_view section, std::string_view key,
                                std::string_view value) {
    const auto wideSection = widen(section);
    const auto wideKey = widen(key);
    const auto wideValue = widen(value);
    if (!wideSection || !wideKey || !wideValue) return false;
    const std::wstring path(file.begin(), file.end());
    // No string at all, rather than an empty one, removes the key.
    const wchar_t* text = value.empty() ? nullptr : wideValue->c_str();
    return WritePrivateProfileStringW(wideSection->c_str(), wideKey->c_str(), text, path.c_str()) != 0;
}

}  // namespace corvane
