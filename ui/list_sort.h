#pragma once

#include <string_view>

namespace corvane {

enum class SortDirection : unsigned char { None, Ascending, Descending };

// How a list was last sorted by a header click. One direction serves the
// whole list: a click on another column continues from it.
struct ListSortState {
    int lastColumn = 0;
    SortDirection direction = SortDirection::None;

    // The direction of the next sort: ascending after anything but ascending.
    SortDirection flip() {
        direction = direction == SortDirection::Ascending ? SortDirection::Descending : SortDirection::Ascending;
        return direction;
    }
};

// Digits, ".", ",", "'", "+" and "-" only; the empty text counts.
bool isNumericCell(std::wstring_view text);

// Two numeric cells by their values, anything else without regard to case
// after leading spaces; reversed when descending. <0, 0 or >0.
int compareCells(std::wstring_view first, std::wstring_view second, SortDirection direction);

}  // namespace corvane
