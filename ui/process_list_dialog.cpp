#include "ui/process_list_dialog.h"

#include <string>
#include <vector>

#include "framework/fonts.h"
#include "framework/routes.h"
#include "framework/window_text.h"
#include "ui/process_snapshot.h"

namespace corvane {
namespace {

constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER;
// The comparison reads each cell into a buffer of this many units.
constexpr std::size_t kSortCellLength = 259;

}  // namespace

ProcessListDialog::ProcessListDialog(std::function<void(DWORD)> choose)
    : ModalDialog(L"Form进程"), choose_(std::move(choose)) {}

bool ProcessListDialog::build(HWND owner) {
    ProcessListControls& c = controls_;
    const ControlSpec table[] = {
        {&c.Command刷新进程, L"Command刷新进程", L"BUTTON", kIdCommand刷新进程, L"刷新进程", 0, 1, 65, 23,
         kButton | BS_DEFPUSHBUTTON, 0, kDialogFont},
        {&c.Command打开进程, L"Command打开进程", L"BUTTON", kIdCommand打开进程, L"打开进程", 66, 1, 65, 23,
         kButton | BS_PUSHBUTTON, 0, kDialogFont},
        {&c.ListV进程, L"ListV进程", L"LISTVIEW", kIdListV进程, L"", 0, 25, 466, 292,
         WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, kDialogFont, kColorDefault,
         kColorDefault, kAnchorStretchBoth},
    };
    constexpr FormDesign design{L"进程列表",
                                471,
                                347,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE,
                                L"ICON_FAVICON1",
                                false};
    if (!open(owner, design, table)) return false;
    c.ListV进程.setExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    c.ListV进程.insertColumn(kProcessNameColumn, L"进程名称", scaled(120, scale().x));
    c.ListV进程.insertColumn(kProcessPidColumn, L"Pid", scaled(50, scale().x));
    c.ListV进程.insertColumn(kProcessPathColumn, L"进程路径", scaled(264, scale().x));
    fillProcessList();
    return true;
}

void ProcessListDialog::onCommand(int id, int code, HWND control) {
    static const CommandRoute<ProcessListDialog> routes[] = {
        {kIdCommand刷新进程, BN_CLICKED, &ProcessListDialog::fillProcessList},
        {kIdCommand打开进程, BN_CLICKED, &ProcessListDialog::chooseMarkedProcess},
    };
    if (!routeCommand<ProcessListDialog>(*this, routes, id, code)) Form::onCommand(id, code, control);
}

LRESULT ProcessListDialog::onNotify(NMHDR& header) {
    static const NotifyRoute<ProcessListDialog> routes[] = {
        {kIdListV进程, LVN_COLUMNCLICK, &ProcessListDialog::onColumnClick},
    };
    LRESULT result = 0;
    routeNotify<ProcessListDialog>(*this, routes, header, result);
    return result;
}

void ProcessListDialog::onLoad() {
    // Above every other window, so that it is not lost behind the target.
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void ProcessListDialog::onScaleChanged(const DpiScale& previous) {
    controls_.ListV进程.rescaleColumns(scale().x / previous.x);
}

bool ProcessListDialog::onControlMessage(ControlRecord& record, HWND, UINT message, WPARAM, LPARAM, LRESULT&) {
    // A double click anywhere in the list chooses, on an item or not; the
    // list still sees the click.
    if (record.id == kIdListV进程 && message == WM_LBUTTONDBLCLK) chooseMarkedProcess();
    return false;
}

void ProcessListDialog::fillProcessList() {
    bool taken = false;
    std::vector<ProcessRow> rows = listProcesses(&taken);
    if (!taken) return;  // the rows stay as they were
    const ListView& list = controls_.ListV进程;
    list.deleteAll();
    for (const ProcessRow& row : rows) {
        const int item = list.insertItem(list.itemCount(), widen(row.exeName), static_cast<LPARAM>(row.pid));
        list.setItemText(item, kProcessPidColumn, std::to_wstring(row.pid));
        list.setItemText(item, kProcessPathColumn, widen(row.path));
    }
}

void ProcessListDialog::chooseMarkedProcess() {
    const ListView& list = controls_.ListV进程;
    // With no row marked there is no choice: the target stays as it was.
    if (const int marked = list.selectionMark(); marked >= 0 && choose_)
        choose_(static_cast<DWORD>(list.itemParam(marked)));
    closeForm();
}

LRESULT ProcessListDialog::onColumnClick(NMHDR& header) {
    sortByColumn(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
    return 0;
}

void ProcessListDialog::sortByColumn(int column) {
    const ListView& list = controls_.ListV进程;
    const SortDirection direction = sortState_.flip();
    if (sortState_.lastColumn != -1 && sortState_.lastColumn != column) list.setSortArrow(sortState_.lastColumn, 0);
    std::vector<std::wstring> cells(static_cast<std::size_t>(list.itemCount()));
    for (std::size_t row = 0; row < cells.size(); ++row)
        cells[row] = list.itemText(static_cast<int>(row), column).substr(0, kSortCellLength);
    list.sort([&](int first, int second) {
        return compareCells(cells[static_cast<std::size_t>(first)], cells[static_cast<std::size_t>(second)], direction);
    });
    list.setSortArrow(column, direction == SortDirection::Ascending ? HDF_SORTUP : HDF_SORTDOWN);
    sortState_.lastColumn = column;
}

}  // namespace corvane
