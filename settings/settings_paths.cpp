#include "settings/settings_paths.h"

#include <array>

#include "engine/text/text_codec.h"
#include "settings/file_system.h"
#include "settings/gbk_chars.h"

namespace corvane {
namespace {

bool isPathDelimiter(char c) { return c == ':' || c == '/' || c == '\\'; }

char16_t asciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    }
    return true;
}

bool isDeviceNumber(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

}  // namespace

// Windows opens these as devices whatever extension follows them, so
// "NUL.ini" would swallow a save without a trace and "CON.ini" would wait on
// the console. The stem is what precedes the first dot, without the blanks
// before that dot, as Windows reads it.
bool isWindowsDeviceName(std::u16string_view name) {
    std::u16string_view stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
    static constexpr std::array<std::u16string_view, 6> kPlain = {u"CON", u"PRN",    u"AUX",
                                                                  u"NUL", u"CONIN$", u"CONOUT$"};
    for (const std::u16string_view device : kPlain) {
        if (equalsIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() == 4 && isDeviceNumber(stem[3])) {
        const std::u16string_view prefix = stem.substr(0, 3);
        return equalsIgnoringAsciiCase(prefix, u"COM") || equalsIgnoringAsciiCase(prefix, u"LPT");
    }
    return false;
}

std::u16string settingsFolder(std::u16string_view executablePath) {
    const std::size_t last = executablePath.find_last_of(u":/\\");
    std::u16string folder;
    char16_t separator = u'\\';
    if (last != std::u16string_view::npos) {
        folder = executablePath.substr(0, last + 1);
        if (executablePath[last] == u'/') separator = u'/';
    }
    folder += kSettingsFolderName;
    folder += separator;
    return folder;
}

std::u16string settingsFolder() { return settingsFolder(executablePath()); }

std::u16string configFilePath(std::u16string_view folder) {
    std::u16string path(folder);
    path += kConfigFileName;
    return path;
}

std::u16string configFilePath() { return configFilePath(settingsFolder()); }

bool createSettingsFolder(std::u16string_view folder) {
    if (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.remove_suffix(1);
    return createDirectory(folder);
}

std::string fileTitle(std::string_view text) {
    std::size_t nameStart = 0;
    std::size_t lastDot = std::string_view::npos;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = gbkCharLength(text, pos);
        if (length == 1) {
            if (isPathDelimiter(text[pos])) {
                nameStart = pos + 1;
                lastDot = std::string_view::npos;
            } else if (text[pos] == '.') {
                lastDot = pos;
            }
        }
        pos += length;
    }
    if (lastDot == std::string_view::npos) return {};
    return std::string(text.substr(nameStart, lastDot - nameStart));
}

bool isBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

FileTitleError checkFileTitle(std::string_view title) {
    if (isBlank(title)) return FileTitleError::Blank;
    std::u16string wide;
    if (!systemTextCodec().toUtf16(title, CodePage::Gbk, wide)) return FileTitleError::NotCodePage936;
    for (const char16_t c : wide) {
        if (c == u'\\' || c == u'/') return FileTitleError::PathSeparator;
    }
    if (wide.find(u"..") != std::u16string::npos) return FileTitleError::ParentReference;
    for (const char16_t c : wide) {
        if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
            return FileTitleError::ForbiddenCharacter;
        }
    }
    if (isWindowsDeviceName(wide)) return FileTitleError::ReservedName;
    // Windows strips trailing dots and spaces from the names it is given, so
    // such a title names a file that Explorer and the command prompt cannot
    // reach by the name shown; with ".ini" after it a last dot also gives "..".
    if (wide.back() == u'.' || wide.back() == u' ') return FileTitleError::TrailingDotOrSpace;
    return FileTitleError::None;
}

std::string_view describeFileTitleError(FileTitleError error) {
    switch (error) {
        case FileTitleError::None: return "the file title is usable";
        case FileTitleError::Blank: return "the file title is empty";
        case FileTitleError::NotCodePage936: return "the file title is not code page 936 text";
        case FileTitleError::PathSeparator: return "the file title holds a path separator";
        case FileTitleError::ParentReference: return "the file title holds \"..\"";
        case FileTitleError::ForbiddenCharacter: return "the file title holds a character a file name cannot hold";
        case FileTitleError::ReservedName: return "the file title is a Windows device name";
        case FileTitleError::TrailingDotOrSpace: return "the file title ends in a dot or a space";
    }
    return "the file title is refused";
}

std::u16string_view fileTitleErrorMessage(FileTitleError error) {
    switch (error) {
        case FileTitleError::None: return u"";
        case FileTitleError::Blank: return u"请先输入设置保存文件名...";
        case FileTitleError::NotCodePage936: return u"文件名中有无法保存的字符，请换一个文件名...";
        case FileTitleError::PathSeparator: return u"文件名中不能有路径分隔符 \\ 或 /，请只输入文件名...";
        case FileTitleError::ParentReference: return u"文件名中不能有连续的两个点 ..，请换一个文件名...";
        case FileTitleError::ForbiddenCharacter: return u"文件名中不能有 < > : \" | ? * 或控制字符，请换一个文件名...";
        case FileTitleError::ReservedName:
            return u"文件名是系统保留的设备名（如 CON、NUL、COM1、LPT1），请换一个文件名...";
        case FileTitleError::TrailingDotOrSpace: return u"文件名不能以点或空格结尾，请换一个文件名...";
    }
    return u"文件名无法使用，请换一个文件名...";
}

std::optional<std::u16string> settingsFilePath(std::u16string_view folder, std::string_view title) {
    if (checkFileTitle(title) != FileTitleError::None) return std::nullopt;
    std::u16string wide;
    systemTextCodec().toUtf16(title, CodePage::Gbk, wide);
    std::u16string path(folder);
    path += wide;
    path += kSettingsFileExtension;
    return path;
}

}  // namespace corvane
