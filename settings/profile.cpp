#include "settings/profile.h"

#include <optional>

#include "engine/text/text_codec.h"
#include "settings/file_system.h"
#include "settings/line_breaks.h"
#include "settings/profile_platform.h"
#include "settings/profile_text.h"

namespace corvane {

// Every settings write passes here, whatever the platform: a line break in a
// value (a pasted structure text, a value field) would otherwise split the
// key line in two, so that the key keeps only the text before the break and
// the rest stays in the file as a stray line. Names get the same treatment,
// and so do the names of a read, so that a read finds what the write wrote.

std::string profileReadString(std::u16string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
    return platformProfileReadString(file, removeLineBreaks(section), removeLineBreaks(key), defaultValue);
}

bool profileHasSection(std::u16string_view file, std::string_view section) {
    // The profile service has no question for this; ProfileText finds
    // sections as the service does on every platform.
    const std::optional<std::string> bytes = readFileBytes(file);
    std::u16string wide;
    if (!bytes || !systemTextCodec().toUtf16(removeLineBreaks(section), CodePage::Gbk, wide)) return false;
    return ProfileText(*bytes, systemTextCodec()).hasSection(wide);
}

bool profileWriteString(std::u16string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
    return platformProfileWriteString(file, removeLineBreaks(section), removeLineBreaks(key), removeLineBreaks(value));
}

}  // namespace corvane
