// The in-place editors of the two lists: Text修改 over any cell of the
// structure list, Text修改内存 over a value of the results list.

#include "engine/search/structure_row.h"
#include "engine/target/module_lookup.h"
#include "framework/window_text.h"
#include "settings/structure_text.h"
#include "ui/main_window.h"
#include "ui/value_check.h"

namespace corvane {
namespace {

constexpr int kStartColumn = 0;
constexpr int kValueColumn = 1;

}  // namespace

LRESULT Form1::onStructureItemActivate(NMHDR& header) {
    const auto& activated = reinterpret_cast<const NMITEMACTIVATE&>(header);
    if (activated.iItem < 0) return 0;
    editRow_ = activated.iItem;
    editColumn_ = activated.iSubItem;
    openCellEditor(controls_.ListView结构, controls_.Text修改, controls_.ListView结构.itemText(editRow_, editColumn_));
    return 0;
}

LRESULT Form1::onResultItemActivate(NMHDR& header) {
    const auto& activated = reinterpret_cast<const NMITEMACTIVATE&>(header);
    if (activated.iItem < 0) return 0;
    editRow_ = activated.iItem;
    editColumn_ = activated.iSubItem;
    if (editColumn_ != kValueColumn) return 0;
    openCellEditor(controls_.ListView1, controls_.Text修改内存,
                   widen(engine_->results().valueText(static_cast<std::size_t>(editRow_))));
    return 0;
}

void Form1::openCellEditor(const ListView& list, const Edit& editor, const std::wstring& text) {
    list.ensureVisible(editRow_);
    RECT cell = list.subItemRect(editRow_, editColumn_);
    MapWindowPoints(list, hwnd(), reinterpret_cast<POINT*>(&cell), 2);
    RECT listClient{};
    GetClientRect(list, &listClient);
    MapWindowPoints(list, hwnd(), reinterpret_cast<POINT*>(&listClient), 2);

    const int height = cell.bottom - cell.top;
    int left = cell.left;
    int width = list.columnWidth(editColumn_);
    // A list with more rows than one page shows a vertical scroll bar.
    const int perPage = static_cast<int>(list.send(LVM_GETCOUNTPERPAGE));
    const int reserve = perPage < list.itemCount() ? GetSystemMetrics(SM_CXVSCROLL) : 0;
    const int usableRight = listClient.right - reserve;
    if (left + width > usableRight) width = usableRight - left;
    if (editColumn_ == kStartColumn) width -= height;
    if (left < listClient.left) {
        // Scrolled sideways: start just inside the list, less the hidden part.
        width -= listClient.left + 1 - left;
        left = listClient.left + 1;
    }
    SetWindowPos(editor, HWND_TOP, left, cell.top, width < 0 ? 0 : width, height, SWP_NOACTIVATE);
    editor.send(EM_SETREADONLY, FALSE);
    editor.send(WM_SETFONT, static_cast<WPARAM>(list.send(WM_GETFONT)), TRUE);
    editor.setText(text);
    editor.selectAll();
    editor.focus();
    editor.show();
}

void Form1::onStructureEditLeft() {
    const Form1Controls& c = controls_;
    const std::string typed = narrow(c.Text修改.text());
    const bool checked = c.Text修改.isVisible();
    if (editRow_ < 0 || editRow_ >= c.ListView结构.itemCount()) {
        c.Text修改.show(false);
        return;
    }
    // Enter hides the editor and takes its text unchecked; but a text that
    // would cut the structure text into other rows, or an empty start, is
    // never taken.
    const bool start = editColumn_ == kStartColumn;
    const wchar_t* refusal = nullptr;
    if (start && !isUsableStartCell(typed))
        refusal = isModuleStartCell(typed) ? startRefusal(typed, editRow_, checked) : L"不是有效的十六进制数据！";
    else if (start)
        refusal = startRefusal(typed, editRow_, checked);
    else if (!start && !isUsableStructureCell(typed))
        refusal = L"次数和递增中不能有“]”或“*”！";
    if (refusal != nullptr) {
        // A hidden editor gives up its text, so that the focus coming back
        // to it and leaving again does not ask once more.
        if (!checked) c.Text修改.setText(c.ListView结构.itemText(editRow_, editColumn_));
        messageBox(hwnd(), refusal, MB_OK);
        return;
    }
    c.ListView结构.setItemText(editRow_, editColumn_, widen(typed));
    c.Text修改.show(false);
    rebuildStructureText();
}

void Form1::onValueEditLeft() {
    const Form1Controls& c = controls_;
    const bool checked = c.Text修改内存.isVisible();
    c.Text修改内存.show(false);
    const int typeIndex = c.Combo类型.selection();
    if (!checked || typeIndex < 0) return;
    const auto type = static_cast<ValueType>(typeIndex);
    if (isTextType(type)) return;
    const int base = c.Combo进制.selection();
    // The value is checked and nothing more: the target is never written.
    if (isCanonicalValueText(narrow(c.Text修改内存.text()), type, static_cast<std::uint8_t>(base < 0 ? 0 : base)))
        return;
    const std::wstring message = L"不是有效的" + c.Combo类型.itemText(typeIndex) + c.Combo进制.itemText(base) + L"数据";
    messageBox(hwnd(), message, MB_OK | MB_ICONERROR);
}

}  // namespace corvane
