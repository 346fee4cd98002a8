#include <fstream>
#include <optional>

#include "engine/text/text_codec.h"
#include "settings/file_system.h"
#include "settings/native/native_path.h"
#include "settings/profile_platform.h"
#include "settings/profile_text.h"

namespace corvane {
namespace {

std::optional<std::u16string> widen(std::string_view text) {
    std::u16string wide;
    if (!systemTextCodec().toUtf16(text, CodePage::Gbk, wide)) return std::nullopt;
    return wide;
}

bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace

std::string platformProfileReadString(std::u16string_view file, std::string_view section, std::string_view key,
                                      std::string_view defaultValue) {
    const auto wideSection = widen(section);
    const auto wideKey = widen(key);
    if (!wideSection || !wideKey) return std::string(defaultValue);
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) return std::string(defaultValue);
    const ProfileText text(*bytes, systemTextCodec());
    const std::optional<std::u16string> value = text.value(*wideSection, *wideKey);
    if (!value) return std::string(defaultValue);
    return systemTextCodec().fromUtf16(*value, CodePage::Gbk);
}

bool platformProfileWriteString(std::u16string_view file, std::string_view section, std::string_view key,
                                std::string_view value) {
    const auto wideSection = widen(section);
    const auto wideKey = widen(key);
    const auto wideValue = widen(value);
    if (!wideSection || !wideKey || !wideValue) return false;

    const std::filesystem::path path = nativePath(file);
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (error) return false;
    std::string bytes;
    if (exists) {
        // A file that is there but cannot be read must not be replaced by a
        // file holding this one key.
        std::optional<std::string> current = readFileBytes(file);
        if (!current) return false;
        bytes = std::move(*current);
    }

    ProfileText text(bytes, systemTextCodec());
    std::optional<std::u16string_view> newValue;
    if (!value.empty()) newValue = *wideValue;
    if (!text.setValue(*wideSection, *wideKey, newValue)) return true;
    return writeWholeFile(path, text.bytes());
}

}  // namespace corvane
