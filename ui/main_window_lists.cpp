// The two lists: their popup menus, copying and removing results, removing
// structure rows, and the messages of the lists themselves.

#include "framework/window_text.h"
#include "settings/structure_text.h"
#include "ui/clipboard.h"
#include "ui/main_window.h"

namespace corvane {
namespace {

enum ResultColumn : int { kPathColumn, kValueColumn, kAddressColumn };

// The results menu's items by position: 复制 carries a submenu.
enum ResultsMenuPosition : UINT { kCopyPosition, kDeletePosition, kClearPosition };

void enableMenuItem(HMENU menu, UINT item, UINT by, bool enabled) {
    EnableMenuItem(menu, item, by | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

bool Form1::onControlMessage(ControlRecord& record, HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
    const Form1Controls& c = controls_;
    switch (record.id) {
        case kIdListView结构:
            if (message == WM_HSCROLL || message == WM_VSCROLL || isHeaderTrackStart(message, lParam))
                c.Text修改.show(false);
            if (message == WM_CONTEXTMENU) {
                showStructureMenu();
                return true;
            }
            return false;
        case kIdListView1:
            if (message == WM_HSCROLL || message == WM_VSCROLL || message == WM_MOUSEWHEEL) {
                const int top = c.ListView1.topIndex();
                if (top >= 0 && top < c.ListView1.itemCount()) c.ListView1.selectOnly(top);
                c.Text修改内存.show(false);
            }
            if (isHeaderTrackStart(message, lParam)) c.Text修改内存.show(false);
            if (message == WM_CONTEXTMENU) {
                showResultsMenu();
                return true;
            }
            if (message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 && (wParam == 'C' || wParam == 'A')) {
                if (wParam == 'C')
                    copySelectedResults();
                else
                    c.ListView1.setItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
                return true;
            }
            return false;
        case kIdText修改:
            if (structureEnter_.completes(message, wParam, lParam)) c.Text修改.show(false);
            return false;
        case kIdText修改内存:
            if (valueEnter_.completes(message, wParam, lParam)) c.Text修改内存.show(false);
            return false;
        default: return false;
    }
}

bool Form1::isHeaderTrackStart(UINT message, LPARAM lParam) {
    return message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == HDN_BEGINTRACKW;
}

void Form1::showPopupMenuAtCursor(HMENU menu) {
    POINT cursor{};
    GetCursorPos(&cursor);
    const BOOL command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y + scaled(10, scale().y),
                                        0, hwnd(), nullptr);
    // Posted, so the command runs once the menu has gone; 0 reaches no handler.
    PostMessageW(hwnd(), WM_COMMAND, static_cast<WPARAM>(command), 0);
}

void Form1::updateMenus() {
    const bool results = controls_.ListView1.itemCount() > 0;
    for (UINT position : {kCopyPosition, kDeletePosition, kClearPosition})
        enableMenuItem(popupMenu结果_, position, MF_BYPOSITION, results);
    enableMenuItem(popupMenu结果_, kIdMenuPointerScan, MF_BYCOMMAND,
                   results && controls_.ListView1.selectionMark() != -1);
    enableMenuItem(popupMenu结果_, kIdMenuDissect, MF_BYCOMMAND, results && controls_.ListView1.selectionMark() != -1);
    const ListView& rows = controls_.ListView结构;
    const bool anyRow = rows.itemCount() > 0;
    enableMenuItem(popupMenu结构_, kIdMenuSaveList, MF_BYCOMMAND, anyRow);
    enableMenuItem(popupMenu结构_, kIdMenuDeleteRow, MF_BYCOMMAND, anyRow && rows.selectionMark() != -1);
    enableMenuItem(popupMenu结构_, kIdMenuClearRows, MF_BYCOMMAND, anyRow);
}

void Form1::showResultsMenu() {
    updateMenus();
    showPopupMenuAtCursor(popupMenu结果_);
}

void Form1::showStructureMenu() {
    updateMenus();
    showPopupMenuAtCursor(popupMenu结构_);
}

std::string Form1::resultRowText(int row) const {
    std::string text;
    const ResultStore& results = engine_->results();
    const auto index = static_cast<std::size_t>(row);
    if (!results.appendCellText(index, kPathColumn, text)) return {};
    text += ' ';
    results.appendCellText(index, kValueColumn, text);
    text += ' ';
    results.appendCellText(index, kAddressColumn, text);
    return text;
}

void Form1::copyMarkedCell(int column) {
    const int row = controls_.ListView1.selectionMark();
    if (row < 0) return;
    std::string text;
    if (column < 0)
        text = resultRowText(row);
    else
        engine_->results().appendCellText(static_cast<std::size_t>(row), column, text);
    copyTextToClipboard(text);
}

void Form1::onCopyRow() { copyMarkedCell(-1); }
void Form1::onCopyPath() { copyMarkedCell(kPathColumn); }
void Form1::onCopyValue() { copyMarkedCell(kValueColumn); }
void Form1::onCopyAddress() { copyMarkedCell(kAddressColumn); }

void Form1::copySelectedResults() {
    const ListView& list = controls_.ListView1;
    std::string lines;
    for (int row = list.nextItem(-1, LVNI_SELECTED); row >= 0; row = list.nextItem(row, LVNI_SELECTED)) {
        if (!lines.empty()) lines += "\r\n";
        lines += resultRowText(row);
    }
    copyTextsToClipboard(lines, widen(lines));
}

void Form1::onDeleteResult() {
    const int row = controls_.ListView1.selectionMark();
    if (row < 0) return;
    // The store's lock keeps this safe beside a running monitor: the monitor
    // writes back by serial and never brings a removed row back.
    engine_->results().removeAt(static_cast<std::size_t>(row));
    controls_.ListView1.setVirtualCount(engine_->results().count());
    controls_.ListView1.invalidate();
}

void Form1::onClearResults() {
    // A snapshot not narrowed yet goes too, and its file with it.
    if (engine_->busyCheck()) engine_->clearSnapshot();
    engine_->results().clear();
    controls_.ListView1.deleteAll();
    controls_.ListView1.setVirtualCount(0);
}

void Form1::onSaveList() { showSaveDialog(); }

void Form1::onDeleteStructureRow() {
    const ListView& rows = controls_.ListView结构;
    const int row = rows.selectionMark();
    if (row < 0) return;
    rows.deleteItem(row);
    // The last row gone, the text goes too, as clearing the list does;
    // otherwise it would bring the rows back when it next loses the focus.
    if (rows.itemCount() == 0)
        controls_.Text结构.setText(L"");
    else
        rebuildStructureText();
}

void Form1::onClearStructureRows() {
    controls_.ListView结构.deleteAll();
    controls_.Text结构.setText(L"");
}

}  // namespace corvane
