#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dissect/dissect_view.h"
#include "engine/target/win32/target_process.h"
#include "framework/form.h"

namespace corvane {

enum DissectDialogId : int {
    kIdLabel结构地址 = 102,
    kIdText结构地址 = 103,
    kIdCommand查看 = 104,
    kIdLabel起始 = 105,
    kIdText起始 = 106,
    kIdLabel大小 = 107,
    kIdText大小 = 108,
    kIdLabel路径 = 109,
    kIdCommand返回 = 110,
    kIdCommand生成结构 = 111,
    kIdLabel实例 = 112,
    kIdText实例 = 113,
    kIdCommand添加实例 = 114,
    kIdCommand添加标记行 = 115,
    kIdLabel分组 = 116,
    kIdText分组 = 117,
    kIdCheck筛选 = 118,
    kIdListV字段 = 119,
    kIdTimer刷新 = 120,
};

struct DissectDialogControls {
    Edit Text结构地址;
    Window Command查看;
    Edit Text起始;
    Edit Text大小;
    Window Label路径;
    Window Command返回;
    Window Command生成结构;
    Edit Text实例;
    Window Command添加实例;
    Window Command添加标记行;
    Edit Text分组;
    Window Check筛选;
    ListView ListV字段;
};

// "结构分析": the memory around an address as typed fields, read again every
// 200 ms while open. A double click on a pointer follows it, 返回 comes
// back; further instances are compared column by column, in group A or B by
// the letters of the groups box, and the filter keeps the fields that
// separate the groups. A right click sets a field's kind or makes the
// structure that reaches it, as 生成结构 does for the marked field.
class DissectDialog : public ModalDialog {
public:
    // Milliseconds of a steady clock; tests move their own.
    using Clock = std::function<std::uint64_t()>;
    // `use` receives the structure made; `markedAddresses` gives the
    // addresses of the results list's marked rows.
    DissectDialog(TargetProcess& target, std::function<void(const MadeStructure&)> use,
                  std::function<std::vector<std::uint64_t>()> markedAddresses);
    ~DissectDialog() override;

    // Set before showModal: what the address box starts with (a path keeps
    // the way the view was reached).
    void setStart(const std::string& where) { start_ = where; }
    void setClock(Clock clock) { clock_ = std::move(clock); }

    void onView();
    void onBack();
    void onMakeStructure();
    void onAddInstances();
    void onAddMarkedRows();
    void onGroupsChanged();
    void onFilterChanged();
    // Reads the instances again and redraws: the timer's work.
    void refreshNow();
    // What a right click's menu choice does to a shown row.
    void chooseKind(int row, std::optional<FieldKind> kind);
    void makeStructure(int row, unsigned half);
    bool follow(int row);

    DissectView& view() { return *view_; }
    const DissectDialogControls& controls() const { return controls_; }
    // The field a shown row stands for.
    std::size_t fieldOfRow(int row) const;
    // How strongly a shown row's value cell of `instance` shows its change now.
    double rowMark(int row, std::size_t instance) const;

protected:
    bool build(HWND owner) override;
    HWND firstFocus() const override { return controls_.Text结构地址; }
    void onCommand(int id, int code, HWND control) override;
    LRESULT onNotify(NMHDR& header) override;
    void onTimer(UINT_PTR id) override;
    void onDestroy() override;

private:
    LRESULT onGetDisplayInfo(NMHDR& header);
    LRESULT onCustomDraw(NMHDR& header);
    LRESULT onDoubleClick(NMHDR& header);
    LRESULT onRightClick(NMHDR& header);
    bool applyRange();
    void rebuildColumns();
    void showFields();

    TargetProcess& target_;
    std::function<void(const MadeStructure&)> use_;
    std::function<std::vector<std::uint64_t>()> markedAddresses_;
    std::unique_ptr<DissectView> view_;
    Clock clock_;
    std::string start_;
    DissectDialogControls controls_;
    std::vector<std::size_t> shown_;
    int valueColumns_ = 0;
    std::wstring cell_;
};

}  // namespace corvane
