#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/dissect/dissect_view.h"

namespace corvane {

// The range boxes as typed: a start offset (hexadecimal, may be negative)
// and a size (hexadecimal, 1 to 10000), or the reason they cannot be used.
struct DissectRange {
    std::int64_t start = 0;
    std::int64_t size = DissectView::kDefaultSize;
    const wchar_t* refusal = nullptr;
};
DissectRange dissectRange(const std::string& start, const std::string& size);

// What the user is told when the address box leads nowhere.
const wchar_t* addressRefusal(PathProblem problem);

// Instances to add as typed: hexadecimal addresses separated by commas or
// blanks; nothing when one of them is not an address.
std::optional<std::vector<std::uint64_t>> instanceAddresses(const std::string& text);

// The groups box: one letter per instance column, A, B or anything else for
// neither; instances past its end stand in no group.
std::vector<Group> groupsOf(const std::wstring& text, std::size_t instances);

// The fields the list shows: all, or with the filter only those that
// separate the groups.
std::vector<std::size_t> shownFields(const DissectView& view, bool onlySeparating);

// The columns of the field list: offset, bytes, kind, then one value column
// per instance, then the difference mark.
inline constexpr int kOffsetColumn = 0;
inline constexpr int kBytesColumn = 1;
inline constexpr int kKindColumn = 2;
inline constexpr int kFirstValueColumn = 3;
std::wstring fieldCellText(DissectView& view, std::size_t field, int column);

// The background of a value cell whose field changed: yellow at full
// strength, fading to the window's white.
COLORREF changeMarkColour(double strength);

// The right-click menu's kinds: the nine value types, then the guess.
inline constexpr UINT kKindMenuFirst = 1;
inline constexpr UINT kKindMenuGuess = kKindMenuFirst + kValueTypeCount;
inline constexpr UINT kMenuMakeLow = kKindMenuGuess + 1;
inline constexpr UINT kMenuMakeHigh = kMenuMakeLow + 1;
std::optional<FieldKind> kindOfMenuCommand(UINT command);

}  // namespace corvane
