#pragma once

#include <windows.h>

#include <functional>

#include "framework/form.h"
#include "ui/list_sort.h"

namespace corvane {

enum ProcessListId : int {
    kIdCommand刷新进程 = 102,
    kIdCommand打开进程 = 103,
    kIdListV进程 = 104,
};

enum ProcessColumn : int { kProcessNameColumn, kProcessPidColumn, kProcessPathColumn };

struct ProcessListControls {
    Window Command刷新进程;
    Window Command打开进程;
    ListView ListV进程;
};

// "进程列表": the running processes with their ids and paths, sortable by a
// header click; the marked one becomes the target.
class ProcessListDialog : public ModalDialog {
public:
    // `choose` makes a process id the target.
    explicit ProcessListDialog(std::function<void(DWORD)> choose);

    void fillProcessList();
    // The marked row's process becomes the target; closes the dialog.
    void chooseMarkedProcess();
    void sortByColumn(int column);

    const ProcessListControls& controls() const { return controls_; }
    // Kept for the whole run, across closing and reopening.
    const ListSortState& sortState() const { return sortState_; }

protected:
    bool build(HWND owner) override;
    HWND firstFocus() const override { return controls_.Command刷新进程; }
    void onCommand(int id, int code, HWND control) override;
    LRESULT onNotify(NMHDR& header) override;
    void onLoad() override;
    void onScaleChanged(const DpiScale& previous) override;
    bool onControlMessage(ControlRecord& record, HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT& result) override;

private:
    LRESULT onColumnClick(NMHDR& header);

    std::function<void(DWORD)> choose_;
    ProcessListControls controls_;
    ListSortState sortState_;
};

}  // namespace corvane
