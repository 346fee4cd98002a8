#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The six keys of a settings section. Program texts are code page 936
// bytes; the escapes spell the names written beside them (a test holds them
// to the codec's conversion of those names).
inline constexpr std::string_view kStructureKey = "\xBD\xE1\xB9\xB9";  // 结构
inline constexpr std::string_view kTypeKey = "\xC0\xE0\xD0\xCD";       // 类型
inline constexpr std::string_view kBaseKey = "\xBD\xF8\xD6\xC6";       // 进制
inline constexpr std::string_view kConditionKey = "\xCC\xF5\xBC\xFE";  // 条件
inline constexpr std::string_view kValue1Key =
    "\xCA\xFD\xD6\xB5"
    "1";  // 数值1
inline constexpr std::string_view kValue2Key =
    "\xCA\xFD\xD6\xB5"
    "2";  // 数值2

// One section's values as stored: texts, so that what a file holds comes
// back exactly as it was written. Empty means the key is absent.
struct SettingsRecord {
    std::string structureText;   // 结构: the structure text
    std::string typeIndex;       // 类型: index of the value type, "-1" for none
    std::string baseIndex;       // 进制: index of the number base, "-1" for none
    std::string conditionIndex;  // 条件: index of the condition, "-1" for none
    std::string value1;          // 数值1
    std::string value2;          // 数值2

    bool operator==(const SettingsRecord&) const = default;
};

// The text stored for a list's selected index (-1 when nothing is selected).
std::string indexText(int index);

// An index text as a list selection: the number it starts with ("&H", "&O"
// and "&B" included, as typed values are read), halves rounded to the even
// neighbour; no number gives 0. A number no list could hold (infinite, not a
// number, or beyond the int range) gives -1, which selects nothing, as any
// index outside a list does.
int indexFromText(std::string_view text);

// Six profile writes in key order (结构, 类型, 进制, 条件, 数值1, 数值2); an
// empty text removes its key. Each write stands alone, so a failure part-way
// leaves the keys before it written. True when all six succeeded.
bool writeSettingsRecord(std::u16string_view file, std::string_view section, const SettingsRecord& record);

// Six profile reads; a missing file, section or key gives the empty text.
SettingsRecord readSettingsRecord(std::u16string_view file, std::string_view section);

}  // namespace corvane
