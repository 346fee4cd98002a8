// File titles: a title the check accepts names a plain file inside the
// settings folder, however Windows would read the path, and lists back
// under the same title; a refused one has a reason to show.

#include <string>

#include "engine/text/text_codec.h"
#include "settings/settings_paths.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {
namespace {

constexpr std::u16string_view kFolder = u"C:\\Corvane\\遍历配置\\";

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Windows' device names, written out here on their own: the part before the
// first dot, blanks before that dot dropped.
bool namesDevice(std::u16string_view name) {
    std::u16string stem(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    for (char16_t& c : stem) c = upper(c);
    if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL" || stem == u"CONIN$" ||
        stem == u"CONOUT$") {
        return true;
    }
    if (stem.size() != 4 || (!stem.starts_with(u"COM") && !stem.starts_with(u"LPT"))) return false;
    const char16_t digit = stem[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'¹' || digit == u'²' || digit == u'³';
}

void checkAccepted(std::string_view title) {
    std::u16string wide;
    FUZZ_CHECK(systemTextCodec().toUtf16(title, CodePage::Gbk, wide), "accepted a title that is no code page 936 text");
    FUZZ_CHECK(!wide.empty() && wide.find_first_not_of(u' ') != std::u16string::npos, "accepted a blank title");
    for (const char16_t c : wide) {
        FUZZ_CHECK(c >= 0x20 && std::u16string_view(u"\\/:<>\"|?*").find(c) == std::u16string_view::npos,
                   "accepted a character no file name holds");
    }
    FUZZ_CHECK(wide.find(u"..") == std::u16string::npos, "accepted \"..\"");
    FUZZ_CHECK(wide.back() != u'.' && wide.back() != u' ', "accepted a title Windows would strip");
    FUZZ_CHECK(!namesDevice(wide), "accepted a device name");

    const std::optional<std::u16string> path = settingsFilePath(kFolder, title);
    FUZZ_CHECK(path.has_value(), "accepted, but no path");
    FUZZ_CHECK(path->starts_with(kFolder), "the path leaves the settings folder");
    // Windows splits at either separator and drops "." and ".." steps; none
    // of that may happen after the folder.
    const std::u16string_view name = std::u16string_view(*path).substr(kFolder.size());
    FUZZ_CHECK(name.find_first_of(u"\\/") == std::u16string_view::npos,
               "the path has a folder after the settings folder");
    FUZZ_CHECK(name != u"." && name != u"..", "the path names a folder");
    FUZZ_CHECK(name.ends_with(u".ini") && name.substr(0, name.size() - 4) == wide, "the file name is not title.ini");
    // The listing shows the file under the title it was saved with.
    std::string listed = std::string(title) + ".ini";
    FUZZ_CHECK(fileTitle(listed) == title, "lists back as " + hexOf(fileTitle(listed)));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    const std::string title(reinterpret_cast<const char*>(data), size);
    const FileTitleError error = checkFileTitle(title);
    if (error == FileTitleError::None) {
        checkAccepted(title);
    } else {
        FUZZ_CHECK(!settingsFilePath(kFolder, title).has_value(), "refused, but a path was made");
        FUZZ_CHECK(!fileTitleErrorMessage(error).empty(), "refused without a reason");
    }
    return 0;
}
