// The main window's controls, menus and start-up.

#include "framework/fonts.h"
#include "settings/settings_paths.h"
#include "ui/main_window.h"
#include "ui/type_items.h"

#include <filesystem>
#include <system_error>

#include "engine/search/spill_file.h"
#include "ui/snapshot_budget.h"

namespace corvane {
namespace {

constexpr const wchar_t* kControlFont = L"Microsoft YaHei,9,0";

constexpr DWORD kVisible = WS_VISIBLE | WS_TABSTOP;
constexpr DWORD kTextBox = ES_AUTOHSCROLL | ES_WANTRETURN;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr DWORD kCombo = CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL;
constexpr DWORD kList = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
// Several results can be selected, for Ctrl+A and Ctrl+C; the menu commands
// act on the marked one.
constexpr DWORD kResultsList = LVS_REPORT | LVS_SHOWSELALWAYS;

// Draw flags of the windowless labels.
constexpr DWORD kLabelText = DT_LEFT | DT_WORDBREAK;

const wchar_t* const kConditionItems[] = {L"不过滤",
                                          L"大于等于",
                                          L"等于",
                                          L"小于等于",
                                          L"不等于",
                                          L"两者之间",
                                          L"包含字符",
                                          L"保留没有改变的数值*",
                                          L"保留改变了的数值*",
                                          L"保留增加的数值*",
                                          L"保留减少的数值*"};

struct Column {
    const wchar_t* header;
    int width;
};

}  // namespace

namespace {

// MyDrawWin1: the caption and frame the window draws itself, in the system's
// caption colours, with the topmost button beside the system ones.
CaptionSettings captionSettings() {
    CaptionSettings settings;
    settings.componentId = kIdMyDrawWin1;
    settings.captionHeight = 24;
    settings.frameWidth = 3;
    settings.frameHeight = 3;
    settings.cornerMetric = 10;
    settings.activeColor = 0x027F7F7F;    // COLOR_ACTIVECAPTION
    settings.inactiveColor = 0x037F7F7F;  // COLOR_INACTIVECAPTION
    settings.topmostButton = true;
    return settings;
}

}  // namespace

Form1::Form1() : Form(L"Form1"), caption_(captionSettings()) {}

Form1::~Form1() {
    // The window goes first, so that a worker's message to it fails at once
    // instead of waiting for this thread, which then waits for the workers.
    if (IsWindow(hwnd())) DestroyWindow(hwnd());
    if (engine_) {
        engine_->stopRequested.raise();
        engine_->stopMonitor();
    }
    // The pointer dialog's job runs on the engine's worker: the dialog waits
    // for it, so it goes before the engine.
    pointerDialog_.reset();
    engine_.reset();
}

HWND Form1::create() {
    createControls();
    HWND window = hwnd();
    if (window == nullptr) return nullptr;
    setMinimumTrackSize(kForm1Width, kForm1Height);
    createMenus();
    sink_ = std::make_unique<WindowSink>(window, controls_.Status1);
    engine_ = std::make_unique<SearchEngine>(target_, *sink_, systemTextCodec());
    engine_->setModuleLookup(&target_);
    engine_->setRegionLookup(&target_);
    // A snapshot past its budget spills to a file named with this process's
    // id; those of earlier runs that were killed go now.
    {
        std::error_code noTemp;
        const std::filesystem::path temp = std::filesystem::temp_directory_path(noTemp);
        if (!noTemp) {
            removeStaleSpillFiles(temp, processRuns);
            engine_->setSnapshotBudget(snapshotBudgetBytes(configFilePath()),
                                       spillFilePath(temp, GetCurrentProcessId()));
        }
    }
    engine_->onModuleMissing = [this, window](const std::string& module) {
        {
            std::lock_guard lock(missingMutex_);
            missingModules_.push_back(module);
        }
        PostMessageW(window, kModuleMissingMessage, 0, 0);
    };
    const std::u16string folder = settingsFolder();
    processList_ = std::make_unique<ProcessListDialog>([this](DWORD pid) { chooseProcess(pid); });
    saveDialog_ = std::make_unique<SettingsDialog>(SettingsDialogKind::Save, *this, folder);
    loadDialog_ = std::make_unique<SettingsDialog>(SettingsDialogKind::Load, *this, folder);
    pointerDialog_ = std::make_unique<PointerDialog>(
        *engine_, target_, [this](const std::string& structure) { usePointerPath(structure); });
    dissectDialog_ = std::make_unique<DissectDialog>(
        target_, [this](const MadeStructure& made) { useDissectStructure(made); },
        [this] { return markedResultAddresses(); });
    return window;
}

int Form1::run() {
    if (create() == nullptr) return 1;
    controls_.Command选择进程.focus();
    return showForm(true, nullptr, SW_SHOW);
}

void Form1::createControls() {
    Form1Controls& c = controls_;
    // In creation order, which is also the z-order and the tab order; the
    // windowless labels and the picker picture sit between the controls.
    // ListView1 is clipped by its siblings so that it never paints over the
    // status bar below it.
    const ControlSpec table[] = {
        {&c.Text修改内存, L"Text修改内存", L"TEXTBOX", kIdText修改内存, L"Text1", 184, 510, 94, 21, kTextBox,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {&c.Picture1, L"Picture1", L"LABEL", kIdPicture1, L"", 328, 98, 282, 260, SS_NOTIFY, 0, nullptr, kColorDefault,
         kColorDefault, kAnchorCentreBoth},
        {&c.Text修改, L"Text修改", L"TEXTBOX", kIdText修改, L"Text1", 181, 479, 102, 23, kTextBox, WS_EX_CLIENTEDGE,
         kControlFont, kColorWindowText, kColorWindow},
        {&c.Text结构, L"Text结构", L"TEXTBOX", kIdText结构, L"", 219, 4, 473, 23, kVisible | kTextBox, WS_EX_CLIENTEDGE,
         kControlFont, kColorWindowText, kColorWindow, kAnchorStretchWidth},
        {&c.Text数值1, L"Text数值1", L"TEXTBOX", kIdText数值1, L"", 34, 79, 89, 20, kVisible | kTextBox,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {nullptr, L"Label3", kWindowlessLabel, kIdLabel3, L"数值", 7, 82, 28, 16, kLabelText, 0, kControlFont},
        {&c.Combo类型, L"Combo类型", L"COMBOBOX", kIdCombo类型, L"", 34, 31, 89, 300, kVisible | kCombo, 0, kDialogFont,
         kColorWindowText, kColorWindow},
        {nullptr, L"Label1", kWindowlessLabel, kIdLabel1, L"类型", 6, 33, 33, 16, kLabelText, 0, kControlFont},
        {nullptr, L"Image1", kWindowlessLabel, kIdImage1, L"", 4, 3, 24, 24, 0, 0},
        {&c.Command选择进程, L"Command选择进程", L"BUTTON", kIdCommand选择进程, L"选择进程", 33, 3, 184, 25,
         kVisible | kButton, 0, kControlFont},
        {&c.ListView结构, L"ListView结构", L"LISTVIEW", kIdListView结构, L"", 3, 129, 213, 253, kVisible | kList,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {&c.Status1, L"Status1", L"STATUSBAR", kIdStatus1, L"", 0, 0, 0, 0,
         WS_VISIBLE | SBARS_SIZEGRIP | SBARS_TOOLTIPS, 0, kControlFont, kColorDefault, kColorButtonFace},
        {&c.ListView1, L"ListView1", L"LISTVIEW", kIdListView1, L"", 219, 31, 473, 427,
         kVisible | kResultsList | LVS_OWNERDATA | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE, kControlFont, kColorWindowText,
         kColorWindow, kAnchorStretchBoth},
        {&c.Combo进制, L"Combo进制", L"COMBOBOX", kIdCombo进制, L"", 127, 31, 89, 300, kVisible | kCombo, 0,
         kDialogFont, kColorWindowText, kColorWindow},
        {nullptr, L"Label2", kWindowlessLabel, kIdLabel2, L"条件", 6, 57, 33, 16, kLabelText, 0, kControlFont},
        {&c.Combo过滤, L"Combo过滤", L"COMBOBOX", kIdCombo过滤, L"", 34, 55, 182, 300, kVisible | kCombo, 0,
         kDialogFont, kColorWindowText, kColorWindow},
        {&c.Text数值2, L"Text数值2", L"TEXTBOX", kIdText数值2, L"", 127, 79, 89, 20, WS_TABSTOP | kTextBox,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {&c.Command监视结果, L"Command监视结果", L"BUTTON", kIdCommand监视结果, L"监视结果", 2, 102, 71, 25,
         kVisible | kButton, 0, kControlFont},
        {&c.Command首次搜索, L"Command首次搜索", L"BUTTON", kIdCommand首次搜索, L"首次搜索", 74, 102, 72, 25,
         kVisible | kButton, 0, kControlFont},
        {&c.Command再次搜索, L"Command再次搜索", L"BUTTON", kIdCommand再次搜索, L"再次搜索", 147, 102, 70, 25,
         kVisible | kButton | WS_DISABLED, 0, kControlFont},
        {&c.Command读取设置, L"Command读取设置", L"BUTTON", kIdCommand读取设置, L"读取设置", 2, 407, 71, 25,
         kVisible | kButton, 0, kControlFont},
        {&c.Text次数, L"Text次数", L"TEXTBOX", kIdText次数, L"", 101, 385, 74, 20, kVisible | kTextBox | ES_NUMBER,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {&c.Text偏移, L"Text偏移", L"TEXTBOX", kIdText偏移, L"", 3, 385, 95, 20, kVisible | kTextBox, WS_EX_CLIENTEDGE,
         kControlFont, kColorWindowText, kColorWindow},
        {&c.Text递增, L"Text递增", L"TEXTBOX", kIdText递增, L"", 178, 385, 38, 20, kVisible | kTextBox,
         WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow},
        {&c.Command添加偏移, L"Command添加偏移", L"BUTTON", kIdCommand添加偏移, L"添加偏移", 147, 407, 70, 25,
         kVisible | kButton, 0, kControlFont},
        {&c.Command保存设置, L"Command保存设置", L"BUTTON", kIdCommand保存设置, L"保存设置", 74, 407, 72, 25,
         kVisible | kButton, 0, kControlFont},
    };
    constexpr FormDesign design{L"Corvane",
                                kForm1Width,
                                kForm1Height,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                                    WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE,
                                L"AAAAA_APPICON",
                                false};
    if (!open(nullptr, design, table)) return;

    for (const wchar_t* item : kTypeItems) c.Combo类型.add(item);
    for (const wchar_t* item : {L"10进制", L"16进制"}) c.Combo进制.add(item);
    for (const wchar_t* item : kConditionItems) c.Combo过滤.add(item);
    sizeComboItems();

    for (const ListView& list : {c.ListView结构, c.ListView1})
        list.setExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const Column structureColumns[] = {{L"起始偏移", 87}, {L"次数", 66}, {L"递增", 38}};
    for (int i = 0; i < 3; ++i)
        c.ListView结构.insertColumn(i, structureColumns[i].header, scaled(structureColumns[i].width, scale().x));

    sizeStatusPanels();
    const wchar_t* const panelTexts[] = {L"遍历总数：", L"", L"有效数据：", L"", L"搜索耗时：", L""};
    for (int i = 0; i < 6; ++i) c.Status1.setPartText(i, panelTexts[i]);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    image1Rest_.load(instance, L"PNG_FAVICON1");
    image1Dragging_.load(instance, L"PNG_FAVICON2");
    image1Shown_ = &image1Rest_;
    // Interval 0 with the enabled flag set: no tick until an interval is given.
    timer1Enabled_ = true;
    timer1Interval_ = 0;
}

void Form1::sizeComboItems() {
    const Form1Controls& c = controls_;
    for (const ComboBox& combo : {c.Combo类型, c.Combo进制, c.Combo过滤}) {
        combo.setItemHeight(-1, scaled(20, scale().y));
        combo.setItemHeight(0, scaled(18, scale().y));
    }
}

void Form1::sizeStatusPanels() {
    // Panel right edges: each positive width scaled; the last takes the rest.
    const int widths[] = {60, 100, 60, 100, 60};
    int edges[6];
    int edge = 0;
    for (int i = 0; i < 5; ++i) edges[i] = edge += scaled(widths[i], scale().x);
    edges[5] = -1;
    controls_.Status1.setParts(edges, 6);
}

void Form1::matchValueToFilterWidth() {
    const RECT combo = controls_.Combo过滤.rectInParent();
    const RECT value = controls_.Text数值1.rectInParent();
    controls_.Text数值1.resize(combo.right - combo.left, value.bottom - value.top);
}

void Form1::onScaleChanged(const DpiScale& previous) {
    sizeComboItems();
    sizeStatusPanels();
    matchValueToFilterWidth();
    for (const ListView& list : {controls_.ListView结构, controls_.ListView1})
        list.rescaleColumns(scale().x / previous.x);
}

void Form1::createMenus() {
    HMENU copy = CreatePopupMenu();
    AppendMenuW(copy, MF_STRING, kIdMenuCopyRow, L"选中整行");
    AppendMenuW(copy, MF_STRING, kIdMenuCopyPath, L"偏移");
    AppendMenuW(copy, MF_STRING, kIdMenuCopyValue, L"值");
    AppendMenuW(copy, MF_STRING, kIdMenuCopyAddress, L"地址");
    popupMenu结果_ = CreatePopupMenu();
    // The submenu item carries the command id of "复制" for its enabling rule.
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
    item.wID = kIdMenuCopy;
    item.hSubMenu = copy;
    item.dwTypeData = const_cast<wchar_t*>(L"复制");
    InsertMenuItemW(popupMenu结果_, 0, TRUE, &item);
    AppendMenuW(popupMenu结果_, MF_STRING, kIdMenuDeleteResult, L"删除");
    AppendMenuW(popupMenu结果_, MF_STRING, kIdMenuClearResults, L"清空");
    AppendMenuW(popupMenu结果_, MF_STRING, kIdMenuPointerScan, L"指针扫描…");
    AppendMenuW(popupMenu结果_, MF_STRING, kIdMenuDissect, L"结构分析…");

    popupMenu结构_ = CreatePopupMenu();
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuSaveList, L"保存列表");
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuDeleteRow, L"删除");
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuClearRows, L"清空列表");
}

void Form1::onLoad() {
    const Column resultColumns[] = {{L"偏移", 200}, {L"值", 145}, {L"地址", 95}};
    for (int i = 0; i < 3; ++i)  // device pixels
        controls_.ListView1.insertColumn(i, resultColumns[i].header, resultColumns[i].width);
    controls_.Combo类型.select(2);
    controls_.Combo进制.select(0);
    controls_.Combo过滤.select(0);
    matchValueToFilterWidth();
    // Until a process is chosen only the process button and the picker work.
    disableInputs(controls_.Command选择进程, true);
    createSettingsFolder(settingsFolder());
    SetWindowTextW(hwnd(), L"Corvane 2.0.4");
}

void Form1::onDestroy() {
    KillTimer(hwnd(), kIdTimer1);
    if (popupMenu结果_ != nullptr) DestroyMenu(popupMenu结果_);
    if (popupMenu结构_ != nullptr) DestroyMenu(popupMenu结构_);
    popupMenu结果_ = popupMenu结构_ = nullptr;
}

}  // namespace corvane
