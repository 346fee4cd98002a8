#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

namespace corvane {

// Thin, non-owning views of a control window: each call sends the one
// message or calls the one function on the window. A view of no window does
// nothing and answers 0 or empty text, so a slot whose control could not be
// created stays harmless.
class Window {
public:
    Window() = default;
    explicit Window(HWND window) : hwnd_(window) {}

    HWND hwnd() const { return hwnd_; }
    operator HWND() const { return hwnd_; }
    void attach(HWND window) { hwnd_ = window; }
    bool exists() const { return hwnd_ != nullptr && IsWindow(hwnd_) != FALSE; }
    int id() const { return hwnd_ == nullptr ? 0 : GetDlgCtrlID(hwnd_); }

    std::wstring text() const;
    void setText(const std::wstring& text) const;
    int textLength() const { return hwnd_ == nullptr ? 0 : GetWindowTextLengthW(hwnd_); }
    bool isEnabled() const { return hwnd_ != nullptr && IsWindowEnabled(hwnd_) != FALSE; }
    void enable(bool enabled = true) const;
    bool isVisible() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) != FALSE; }
    void show(bool shown = true) const;
    void focus() const;
    void invalidate() const;
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return hwnd_ == nullptr ? 0 : SendMessageW(hwnd_, message, wParam, lParam);
    }
    // Position relative to the parent's client area, in device pixels.
    RECT rectInParent() const;
    void resize(int width, int height) const;

protected:
    HWND hwnd_ = nullptr;
};

class Edit : public Window {
public:
    using Window::Window;
    void selectAll() const { send(EM_SETSEL, 0, -1); }
};

class ComboBox : public Window {
public:
    using Window::Window;
    // Empties the list and the selection field.
    void reset() const { send(CB_RESETCONTENT); }
    int add(const std::wstring& item) const;
    void replaceItem(int index, const std::wstring& item) const;
    void removeItem(int index) const { send(CB_DELETESTRING, static_cast<WPARAM>(index)); }
    int count() const { return static_cast<int>(send(CB_GETCOUNT)); }
    std::wstring itemText(int index) const;
    // The item equal to `text` without regard to letter case, or -1.
    int findExact(const std::wstring& text) const;
    int selection() const { return static_cast<int>(send(CB_GETCURSEL)); }
    void select(int index) const { send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    // -1 sets the selection field's height.
    void setItemHeight(int index, int height) const;
    // What the selection field shows.
    std::wstring currentText() const { return text(); }
};

class ListView : public Window {
public:
    using Window::Window;
    void setExtendedStyle(DWORD styles) const { send(LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles); }
    void insertColumn(int index, const wchar_t* header, int width, int format = LVCFMT_LEFT) const;
    int columnWidth(int column) const {
        return static_cast<int>(send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
    }
    // Every column's width times `ratio`, as the list moves to another dpi.
    void rescaleColumns(double ratio) const;
    int itemCount() const { return static_cast<int>(send(LVM_GETITEMCOUNT)); }
    // The count of a list whose items the form supplies on demand.
    void setVirtualCount(std::size_t count, DWORD flags = 0) const;
    int insertItem(int index, const std::wstring& text, LPARAM param = 0) const;
    void setItemText(int item, int column, const std::wstring& text) const;
    std::wstring itemText(int item, int column) const;
    LPARAM itemParam(int item) const;
    void setItemParam(int item, LPARAM param) const;
    void deleteItem(int item) const { send(LVM_DELETEITEM, static_cast<WPARAM>(item)); }
    void deleteAll() const { send(LVM_DELETEALLITEMS); }
    int selectionMark() const { return static_cast<int>(send(LVM_GETSELECTIONMARK)); }
    void setSelectionMark(int item) const { send(LVM_SETSELECTIONMARK, 0, item); }
    // Selects and focuses `item` alone (-1 clears every selection).
    void selectOnly(int item) const;
    void setItemState(int item, UINT state, UINT mask) const;
    int nextItem(int start, UINT flags) const {
        return static_cast<int>(send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags)));
    }
    int topIndex() const { return static_cast<int>(send(LVM_GETTOPINDEX)); }
    void ensureVisible(int item) const { send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE); }
    // The cell's rectangle in the list's client area; column 0 is its own
    // cell, not the whole row.
    RECT subItemRect(int item, int column) const;
    HWND header() const { return reinterpret_cast<HWND>(send(LVM_GETHEADER)); }
    // Sorts with a comparison of two items given by their positions before
    // the sort.
    void sort(const std::function<int(int, int)>& compare) const;
    // The header's sort arrow on `column`: HDF_SORTUP, HDF_SORTDOWN or 0.
    void setSortArrow(int column, int arrow) const;
    int sortArrow(int column) const;
};

class StatusBar : public Window {
public:
    using Window::Window;
    void setParts(const int* rightEdges, int count) const;
    void setPartText(int part, const std::wstring& text) const;
    std::wstring partText(int part) const;
};

}  // namespace corvane
