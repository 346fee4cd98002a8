#include "ui/dissect_dialog.h"

#include <chrono>

#include "engine/text/text_codec.h"
#include "framework/routes.h"
#include "framework/window_text.h"
#include "ui/dissect_dialog_logic.h"
#include "ui/type_items.h"

namespace corvane {
namespace {

constexpr const wchar_t* kFont = L"SimSun,9";
constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_PUSHBUTTON;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLabel = WS_VISIBLE;
constexpr AnchorCode kAllSides = 5;
// As the monitor reads its results.
constexpr UINT kRefreshMs = 200;

std::uint64_t steadyMilliseconds() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace

DissectDialog::DissectDialog(TargetProcess& target, std::function<void(const MadeStructure&)> use,
                             std::function<std::vector<std::uint64_t>()> markedAddresses)
    : ModalDialog(L"Form结构"),
      target_(target),
      use_(std::move(use)),
      markedAddresses_(std::move(markedAddresses)),
      view_(std::make_unique<DissectView>(target, &target, &target, systemTextCodec())),
      clock_(steadyMilliseconds) {}

DissectDialog::~DissectDialog() = default;

bool DissectDialog::build(HWND owner) {
    DissectDialogControls& c = controls_;
    const ControlSpec table[] = {
        {nullptr, L"Label结构地址", kWindowlessLabel, kIdLabel结构地址, L"地址", 8, 12, 36, 18, kLabel, 0, kFont},
        {&c.Text结构地址, L"Text结构地址", L"EDIT", kIdText结构地址, L"", 46, 8, 262, 22, kEdit, WS_EX_CLIENTEDGE,
         kFont},
        {&c.Command查看, L"Command查看", L"BUTTON", kIdCommand查看, L"查看", 314, 6, 60, 26, kButton | BS_DEFPUSHBUTTON,
         0, kFont},
        {nullptr, L"Label起始", kWindowlessLabel, kIdLabel起始, L"起始", 384, 12, 32, 18, kLabel, 0, kFont},
        {&c.Text起始, L"Text起始", L"EDIT", kIdText起始, L"0", 418, 8, 60, 22, kEdit, WS_EX_CLIENTEDGE, kFont},
        {nullptr, L"Label大小", kWindowlessLabel, kIdLabel大小, L"大小", 488, 12, 32, 18, kLabel, 0, kFont},
        {&c.Text大小, L"Text大小", L"EDIT", kIdText大小, L"100", 522, 8, 60, 22, kEdit, WS_EX_CLIENTEDGE, kFont},
        {&c.Label路径, L"Label路径", L"LABEL", kIdLabel路径, L"", 8, 40, 430, 18, kLabel, 0, kFont},
        {&c.Command返回, L"Command返回", L"BUTTON", kIdCommand返回, L"返回", 446, 36, 60, 26, kButton, 0, kFont},
        {&c.Command生成结构, L"Command生成结构", L"BUTTON", kIdCommand生成结构, L"生成结构", 512, 36, 90, 26, kButton,
         0, kFont},
        {nullptr, L"Label实例", kWindowlessLabel, kIdLabel实例, L"实例", 8, 72, 36, 18, kLabel, 0, kFont},
        {&c.Text实例, L"Text实例", L"EDIT", kIdText实例, L"", 46, 68, 262, 22, kEdit, WS_EX_CLIENTEDGE, kFont},
        {&c.Command添加实例, L"Command添加实例", L"BUTTON", kIdCommand添加实例, L"添加", 314, 66, 60, 26, kButton, 0,
         kFont},
        {&c.Command添加标记行, L"Command添加标记行", L"BUTTON", kIdCommand添加标记行, L"添加标记行", 380, 66, 90, 26,
         kButton, 0, kFont},
        {nullptr, L"Label分组", kWindowlessLabel, kIdLabel分组, L"分组", 478, 72, 32, 18, kLabel, 0, kFont},
        {&c.Text分组, L"Text分组", L"EDIT", kIdText分组, L"", 512, 68, 90, 22, kEdit, WS_EX_CLIENTEDGE, kFont},
        {&c.Check筛选, L"Check筛选", L"BUTTON", kIdCheck筛选, L"只显示区分A组和B组的字段", 8, 96, 300, 20,
         WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, kFont},
        {&c.ListV字段, L"ListV字段", L"LISTVIEW", kIdListV字段, L"", 8, 120, 604, 330,
         WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE,
         kFont, kColorDefault, kColorDefault, kAllSides},
    };
    constexpr FormDesign design{L"结构分析",
                                620,
                                460,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE,
                                L"ICON_FAVICON1",
                                true};
    if (!open(owner, design, table)) return false;
    c.ListV字段.setExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    c.ListV字段.insertColumn(kOffsetColumn, L"偏移", scaled(50, scale().x));
    c.ListV字段.insertColumn(kBytesColumn, L"字节", scaled(150, scale().x));
    c.ListV字段.insertColumn(kKindColumn, L"类型", scaled(80, scale().x));
    valueColumns_ = 0;
    c.Text结构地址.setText(widen(start_));
    if (!start_.empty()) onView();
    SetTimer(hwnd(), kIdTimer刷新, kRefreshMs, nullptr);
    return true;
}

void DissectDialog::onDestroy() { KillTimer(hwnd(), kIdTimer刷新); }

void DissectDialog::onCommand(int id, int code, HWND control) {
    static const CommandRoute<DissectDialog> routes[] = {
        {kIdCommand查看, BN_CLICKED, &DissectDialog::onView},
        {kIdCommand返回, BN_CLICKED, &DissectDialog::onBack},
        {kIdCommand生成结构, BN_CLICKED, &DissectDialog::onMakeStructure},
        {kIdCommand添加实例, BN_CLICKED, &DissectDialog::onAddInstances},
        {kIdCommand添加标记行, BN_CLICKED, &DissectDialog::onAddMarkedRows},
        {kIdText分组, EN_CHANGE, &DissectDialog::onGroupsChanged},
        {kIdCheck筛选, BN_CLICKED, &DissectDialog::onFilterChanged},
    };
    if (!routeCommand<DissectDialog>(*this, routes, id, code)) Form::onCommand(id, code, control);
}

LRESULT DissectDialog::onNotify(NMHDR& header) {
    static const NotifyRoute<DissectDialog> routes[] = {
        {kIdListV字段, LVN_GETDISPINFOW, &DissectDialog::onGetDisplayInfo},
        {kIdListV字段, static_cast<UINT>(NM_CUSTOMDRAW), &DissectDialog::onCustomDraw},
        {kIdListV字段, static_cast<UINT>(NM_DBLCLK), &DissectDialog::onDoubleClick},
        {kIdListV字段, static_cast<UINT>(NM_RCLICK), &DissectDialog::onRightClick},
    };
    LRESULT result = 0;
    routeNotify<DissectDialog>(*this, routes, header, result);
    return result;
}

void DissectDialog::onTimer(UINT_PTR id) {
    if (id == kIdTimer刷新) refreshNow();
}

bool DissectDialog::applyRange() {
    const DissectRange range = dissectRange(narrow(controls_.Text起始.text()), narrow(controls_.Text大小.text()));
    if (range.refusal != nullptr) {
        messageBox(hwnd(), range.refusal, MB_ICONINFORMATION);
        return false;
    }
    view_->setRange(range.start, range.size);
    return true;
}

void DissectDialog::onView() {
    // The handle of the last first search serves while it is the chosen
    // process's; opening anew would pull it from under a running pass.
    const HANDLE handle = target_.targetHandle();
    const bool current = handle != nullptr && GetProcessId(handle) == target_.targetPid.load() && !target_.hasExited();
    if (!current && target_.openTarget() != 0) {
        messageBox(hwnd(), L"请先选择进程！", MB_ICONINFORMATION);
        return;
    }
    view_->refreshMap();
    if (const wchar_t* refusal = addressRefusal(view_->open(narrow(controls_.Text结构地址.text())))) {
        messageBox(hwnd(), refusal, MB_ICONINFORMATION);
        return;
    }
    if (!applyRange()) return;
    rebuildColumns();
    refreshNow();
}

void DissectDialog::onBack() {
    if (!view_->back()) return;
    controls_.Text起始.setText(fieldCellText(*view_, 0, kOffsetColumn));
    rebuildColumns();
    refreshNow();
}

bool DissectDialog::follow(int row) {
    if (!view_->follow(fieldOfRow(row))) return false;
    controls_.Text起始.setText(L"0");
    rebuildColumns();
    refreshNow();
    return true;
}

void DissectDialog::onAddInstances() {
    const auto addresses = instanceAddresses(narrow(controls_.Text实例.text()));
    if (!addresses) {
        messageBox(hwnd(), L"实例应是十六进制地址，用逗号分开！", MB_ICONINFORMATION);
        return;
    }
    for (std::uint64_t address : *addresses) view_->addInstance(address);
    controls_.Text实例.setText(L"");
    onGroupsChanged();
    rebuildColumns();
    refreshNow();
}

void DissectDialog::onAddMarkedRows() {
    if (!markedAddresses_) return;
    for (std::uint64_t address : markedAddresses_())
        if (address != view_->base()) view_->addInstance(address);
    onGroupsChanged();
    rebuildColumns();
    refreshNow();
}

void DissectDialog::onGroupsChanged() {
    const std::vector<Group> groups = groupsOf(controls_.Text分组.text(), view_->instances().size());
    for (std::size_t i = 0; i < groups.size(); ++i) view_->setGroup(i, groups[i]);
    refreshNow();
}

void DissectDialog::onFilterChanged() { showFields(); }

void DissectDialog::onMakeStructure() { makeStructure(controls_.ListV字段.selectionMark(), 0); }

void DissectDialog::makeStructure(int row, unsigned half) {
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.size()) {
        messageBox(hwnd(), L"请先选择一个字段！", MB_ICONINFORMATION);
        return;
    }
    const MadeStructure made = view_->makeStructure(fieldOfRow(row), half);
    if (use_ && !made.text.empty()) use_(made);
}

void DissectDialog::chooseKind(int row, std::optional<FieldKind> kind) {
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.size()) return;
    view_->setKind(fieldOfRow(row), kind);
    controls_.ListV字段.invalidate();
}

void DissectDialog::refreshNow() {
    if (view_->instances().empty()) return;
    view_->refresh(clock_());
    showFields();
}

void DissectDialog::rebuildColumns() {
    ListView& list = controls_.ListV字段;
    const int wanted = static_cast<int>(view_->instances().size()) + 1;
    while (valueColumns_ > 0) {
        list.send(LVM_DELETECOLUMN, static_cast<WPARAM>(kFirstValueColumn));
        --valueColumns_;
    }
    for (int i = 0; i < wanted; ++i) {
        const bool last = i + 1 == wanted;
        const std::wstring header = last ? L"差异" : i == 0 ? L"值" : L"值" + std::to_wstring(i + 1);
        list.insertColumn(kFirstValueColumn + i, header.c_str(), scaled(last ? 40 : 150, scale().x));
    }
    valueColumns_ = wanted;
    std::string path = pathText(view_->path());
    controls_.Label路径.setText(widen(view_->pathCaption() + "    " + path));
    controls_.Command返回.enable(view_->canGoBack());
}

void DissectDialog::showFields() {
    shown_ = shownFields(*view_, SendMessageW(controls_.Check筛选, BM_GETCHECK, 0, 0) == BST_CHECKED);
    controls_.ListV字段.setVirtualCount(shown_.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    controls_.ListV字段.invalidate();
}

std::size_t DissectDialog::fieldOfRow(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < shown_.size() ? shown_[static_cast<std::size_t>(row)]
                                                                     : view_->fieldCount();
}

double DissectDialog::rowMark(int row, std::size_t instance) const {
    return view_->markStrength(fieldOfRow(row), instance, clock_());
}

LRESULT DissectDialog::onGetDisplayInfo(NMHDR& header) {
    auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.iItem < 0) return 0;
    cell_ = fieldCellText(*view_, fieldOfRow(info.item.iItem), info.item.iSubItem);
    info.item.pszText = cell_.data();
    return 0;
}

LRESULT DissectDialog::onCustomDraw(NMHDR& header) {
    auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int row = static_cast<int>(draw.nmcd.dwItemSpec);
            const std::size_t field = fieldOfRow(row);
            draw.clrTextBk = CLR_DEFAULT;
            draw.clrText = CLR_DEFAULT;
            if (draw.iSubItem >= kFirstValueColumn && field < view_->fieldCount()) {
                const auto instance = static_cast<std::size_t>(draw.iSubItem - kFirstValueColumn);
                const double mark = instance < view_->instances().size() ? rowMark(row, instance) : 0;
                if (mark > 0) draw.clrTextBk = changeMarkColour(mark);
                if (view_->differs(field)) draw.clrText = RGB(192, 0, 0);
            }
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

LRESULT DissectDialog::onDoubleClick(NMHDR& header) {
    follow(reinterpret_cast<NMITEMACTIVATE&>(header).iItem);
    return 0;
}

LRESULT DissectDialog::onRightClick(NMHDR& header) {
    const int row = reinterpret_cast<NMITEMACTIVATE&>(header).iItem;
    if (row < 0) return 0;
    HMENU menu = CreatePopupMenu();
    for (UINT i = 0; i < kValueTypeCount; ++i) AppendMenuW(menu, MF_STRING, kKindMenuFirst + i, kTypeItems[i]);
    AppendMenuW(menu, MF_STRING, kKindMenuGuess, L"自动");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kMenuMakeLow, L"生成结构");
    if (view_->kind(fieldOfRow(row)) == FieldKind::Halves)
        AppendMenuW(menu, MF_STRING, kMenuMakeHigh, L"生成结构（高4字节）");
    POINT cursor{};
    GetCursorPos(&cursor);
    const auto command =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y, 0, hwnd(), nullptr));
    DestroyMenu(menu);
    if (command == kMenuMakeLow || command == kMenuMakeHigh)
        makeStructure(row, command == kMenuMakeHigh ? 1 : 0);
    else if (command != 0)
        chooseKind(row, kindOfMenuCommand(command));
    return 0;
}

}  // namespace corvane
