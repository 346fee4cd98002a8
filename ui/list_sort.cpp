#include "ui/list_sort.h"

#include <windows.h>

#include <string>

#include "engine/values/value_parse.h"
#include "framework/window_text.h"

namespace corvane {
namespace {

double cellValue(std::wstring_view text) { return text.empty() ? 0.0 : parseValueText(narrow(text)); }

int compareUnsigned(std::wstring_view first, std::wstring_view second) {
    if (isNumericCell(first) && isNumericCell(second)) {
        const double a = cellValue(first);
        const double b = cellValue(second);
        return a < b ? -1 : (b < a ? 1 : 0);
    }
    const auto trimmed = [](std::wstring_view text) {
        const std::size_t start = text.find_first_not_of(L' ');
        return std::wstring(start == std::wstring_view::npos ? std::wstring_view() : text.substr(start));
    };
    return lstrcmpiW(trimmed(first).c_str(), trimmed(second).c_str());
}

}  // namespace

bool isNumericCell(std::wstring_view text) {
    return text.find_first_not_of(L"0123456789.,'+-") == std::wstring_view::npos;
}

int compareCells(std::wstring_view first, std::wstring_view second, SortDirection direction) {
    const int order = compareUnsigned(first, second);
    return direction == SortDirection::Descending ? -order : order;
}

}  // namespace corvane
