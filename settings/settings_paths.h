#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Paths are UTF-16 throughout, so that an executable in a folder whose name
// code page 936 cannot spell still finds its settings. File titles and
// section names are code page 936 texts, as the dialogs carry them.

inline constexpr std::u16string_view kSettingsFolderName = u"遍历配置";
inline constexpr std::u16string_view kConfigFileName = u"Config.ini";
inline constexpr std::u16string_view kSettingsFileExtension = u".ini";

// The executable's directory (everything up to and including the last ":",
// "/" or "\") followed by "遍历配置" and a separator. The separator is the one
// the executable path ends its directory with, which on Windows is "\".
std::u16string settingsFolder(std::u16string_view executablePath);
// The running program's settings folder.
std::u16string settingsFolder();

std::u16string configFilePath(std::u16string_view folder);
std::u16string configFilePath();

// Creates the settings folder (given with its trailing separator); a folder
// that exists already, or one that cannot be made, is not an error anyone
// acts on, so the result only says whether it was made now.
bool createSettingsFolder(std::u16string_view folder);

// Drops everything up to and including the last ":", "/" or "\"; then keeps
// what precedes the last "." of the rest, or gives the empty text when the
// rest has no ".". Code page 936 text in and out.
std::string fileTitle(std::string_view text);

// Empty, or spaces only.
bool isBlank(std::string_view text);

// Why a file title cannot name a settings file. The title becomes part of a
// path, so anything that would lead out of the settings folder, or that the
// file system would take as something other than a plain file name, is
// refused rather than written through.
enum class FileTitleError : std::uint8_t {
    None,
    Blank,               // empty or spaces only
    NotCodePage936,      // bytes that are not code page 936 text
    PathSeparator,       // "\" or "/"
    ParentReference,     // ".."
    ForbiddenCharacter,  // < > : " | ? * or a control character
    ReservedName,        // a device name: see isWindowsDeviceName
    TrailingDotOrSpace,  // Windows would strip it from the file name
};

FileTitleError checkFileTitle(std::string_view title);
// An English description of the error, for logs and the command line.
std::string_view describeFileTitleError(FileTitleError error);
// The reason as the save dialog's message box shows it (empty for None).
std::u16string_view fileTitleErrorMessage(FileTitleError error);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT with a digit 0 to 9 or a
// superscript digit 1 to 3, in any ASCII letter case, alone or before a dot
// (blanks between the name and the dot included): Windows opens these as
// devices in every folder.
bool isWindowsDeviceName(std::u16string_view name);

// `folder` + title + ".ini", or nothing when checkFileTitle refuses the title.
std::optional<std::u16string> settingsFilePath(std::u16string_view folder, std::string_view title);

}  // namespace corvane
