#include "framework/controls.h"

#include <vector>

#include "framework/scaling.h"

namespace corvane {

std::wstring Window::text() const {
    if (hwnd_ == nullptr) return {};
    const int length = GetWindowTextLengthW(hwnd_);
    std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd_, value.data(), length + 1);
    value.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
    return value;
}

void Window::setText(const std::wstring& text) const {
    if (hwnd_ != nullptr) SetWindowTextW(hwnd_, text.c_str());
}

void Window::enable(bool enabled) const {
    if (hwnd_ != nullptr) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void Window::show(bool shown) const {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, shown ? SW_SHOW : SW_HIDE);
}

void Window::focus() const {
    if (hwnd_ != nullptr) SetFocus(hwnd_);
}

void Window::invalidate() const {
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
}

RECT Window::rectInParent() const {
    RECT rect{};
    if (hwnd_ == nullptr) return rect;
    GetWindowRect(hwnd_, &rect);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Window::resize(int width, int height) const {
    if (hwnd_ != nullptr) SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int ComboBox::add(const std::wstring& item) const {
    return static_cast<int>(send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
}

void ComboBox::replaceItem(int index, const std::wstring& item) const {
    const int selected = selection();
    send(CB_DELETESTRING, static_cast<WPARAM>(index));
    send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item.c_str()));
    if (selected == index) select(index);
}

std::wstring ComboBox::itemText(int index) const {
    const LRESULT length = send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length <= 0) return {};
    std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
    send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(value.data()));
    value.resize(static_cast<std::size_t>(length));
    return value;
}

int ComboBox::findExact(const std::wstring& text) const {
    if (hwnd_ == nullptr) return CB_ERR;
    return static_cast<int>(send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())));
}

void ComboBox::setItemHeight(int index, int height) const {
    send(CB_SETITEMHEIGHT, static_cast<WPARAM>(index), height);
}

void ListView::insertColumn(int index, const wchar_t* header, int width, int format) const {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(header);
    send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void ListView::rescaleColumns(double ratio) const {
    const int columns = header() == nullptr ? 0 : static_cast<int>(SendMessageW(header(), HDM_GETITEMCOUNT, 0, 0));
    for (int column = 0; column < columns; ++column)
        send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), scaled(columnWidth(column), ratio));
}

void ListView::setVirtualCount(std::size_t count, DWORD flags) const {
    send(LVM_SETITEMCOUNT, static_cast<WPARAM>(count), static_cast<LPARAM>(flags));
}

int ListView::insertItem(int index, const std::wstring& text, LPARAM param) const {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.lParam = param;
    return static_cast<int>(send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::setItemText(int item, int column, const std::wstring& text) const {
    LVITEMW sub{};
    sub.iSubItem = column;
    sub.pszText = const_cast<wchar_t*>(text.c_str());
    send(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&sub));
}

std::wstring ListView::itemText(int item, int column) const {
    // The list answers with how much it copied; a full buffer may mean more.
    for (std::size_t size = 256;; size *= 4) {
        std::vector<wchar_t> buffer(size, L'\0');
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = buffer.data();
        cell.cchTextMax = static_cast<int>(size);
        const auto copied = static_cast<std::size_t>(
            send(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)));
        if (copied + 1 < size || size >= 65536) return std::wstring(buffer.data(), copied < size ? copied : size - 1);
    }
}

LPARAM ListView::itemParam(int item) const {
    LVITEMW query{};
    query.mask = LVIF_PARAM;
    query.iItem = item;
    if (send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query)) == FALSE) return 0;
    return query.lParam;
}

void ListView::setItemState(int item, UINT state, UINT mask) const {
    LVITEMW change{};
    change.stateMask = mask;
    change.state = state;
    send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
}

void ListView::selectOnly(int item) const {
    setItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (item < 0) return;
    setItemState(item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    setSelectionMark(item);
}

RECT ListView::subItemRect(int item, int column) const {
    RECT rect{};
    rect.top = column;
    rect.left = LVIR_LABEL;
    if (send(LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rect)) == FALSE) return {};
    if (column == 0) {
        // Column 0's sub-item rectangle spans the whole row; its own cell
        // ends where column 1 begins.
        rect.right = rect.left + columnWidth(0);
    }
    return rect;
}

void ListView::setItemParam(int item, LPARAM param) const {
    LVITEMW change{};
    change.mask = LVIF_PARAM;
    change.iItem = item;
    change.lParam = param;
    send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&change));
}

void ListView::sort(const std::function<int(int, int)>& compare) const {
    // Positions move while a list sorts, and how they move is the list's own
    // affair; so each item carries its position from before the sort in its
    // parameter meanwhile, and gets its own parameter back afterwards.
    const int count = itemCount();
    std::vector<LPARAM> params(static_cast<std::size_t>(count));
    for (int item = 0; item < count; ++item) {
        params[static_cast<std::size_t>(item)] = itemParam(item);
        setItemParam(item, item);
    }
    const auto call = [](LPARAM first, LPARAM second, LPARAM self) -> int {
        return (*reinterpret_cast<const std::function<int(int, int)>*>(self))(static_cast<int>(first),
                                                                              static_cast<int>(second));
    };
    send(LVM_SORTITEMS, reinterpret_cast<WPARAM>(&compare), reinterpret_cast<LPARAM>(static_cast<PFNLVCOMPARE>(call)));
    for (int item = 0; item < count; ++item) setItemParam(item, params[static_cast<std::size_t>(itemParam(item))]);
}

void ListView::setSortArrow(int column, int arrow) const {
    HWND headerWindow = header();
    if (headerWindow == nullptr) return;
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (SendMessageW(headerWindow, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item)) == FALSE)
        return;
    item.fmt = (item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN)) | arrow;
    SendMessageW(headerWindow, HDM_SETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
}

int ListView::sortArrow(int column) const {
    HWND headerWindow = header();
    if (headerWindow == nullptr) return 0;
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(headerWindow, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

void StatusBar::setParts(const int* rightEdges, int count) const {
    send(SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rightEdges));
}

void StatusBar::setPartText(int part, const std::wstring& text) const {
    send(SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring StatusBar::partText(int part) const {
    const auto length = LOWORD(send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(part)));
    std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
    send(SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(value.data()));
    value.resize(length);
    return value;
}

}  // namespace corvane
