// The main window's controls, menus and start-up.

#include "settings/settings_paths.h"
#include "ui/main_window.h"

namespace corvane {
namespace {

constexpr const wchar_t* kControlFont = L"Microsoft YaHei,9,0";
constexpr const wchar_t* kComboFont = L"SimSun,9";

constexpr DWORD kVisible = WS_VISIBLE | WS_TABSTOP;
constexpr DWORD kTextBox = ES_AUTOHSCROLL | ES_WANTRETURN;
constexpr DWORD kButton = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr DWORD kCombo = CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL;
constexpr DWORD kList = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;

// The controls in creation order, which is also their z-order and tab order.
const ControlSpec kControls[] = {
    {L"Text修改内存", L"TEXTBOX", kIdText修改内存, L"Text1", 184, 510, 94, 21, kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow},
    {L"Picture1", L"LABEL", kIdPicture1, L"", 328, 98, 282, 260, SS_NOTIFY, 0, nullptr, kColorDefault, kColorDefault,
     13},
    {L"Text修改", L"TEXTBOX", kIdText修改, L"Text1", 181, 479, 102, 23, kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow},
    {L"Text结构", L"TEXTBOX", kIdText结构, L"", 219, 4, 473, 23, kVisible | kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow, 1},
    {L"Text数值1", L"TEXTBOX", kIdText数值1, L"", 34, 79, 89, 20, kVisible | kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow},
    {L"Combo类型", L"COMBOBOX", kIdCombo类型, L"", 34, 31, 89, 300, kVisible | kCombo, 0, kComboFont, kColorWindowText,
     kColorWindow},
    {L"Command选择进程", L"BUTTON", kIdCommand选择进程, L"选择进程", 33, 3, 184, 25, kVisible | kButton, 0,
     kControlFont},
    {L"ListView结构", L"LISTVIEW", kIdListView结构, L"", 3, 129, 213, 253, kVisible | kList, WS_EX_CLIENTEDGE,
     kControlFont, kColorWindowText, kColorWindow},
    {L"Status1", L"STATUSBAR", kIdStatus1, L"", 0, 0, 0, 0, WS_VISIBLE | SBARS_SIZEGRIP | SBARS_TOOLTIPS, 0,
     kControlFont, kColorDefault, kColorButtonFace},
    // Clipped by its siblings so that it never paints over the status bar below it.
    {L"ListView1", L"LISTVIEW", kIdListView1, L"", 219, 31, 473, 427,
     kVisible | kList | LVS_OWNERDATA | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE, kControlFont, kColorWindowText, kColorWindow,
     5},
    {L"Combo进制", L"COMBOBOX", kIdCombo进制, L"", 127, 31, 89, 300, kVisible | kCombo, 0, kComboFont, kColorWindowText,
     kColorWindow},
    {L"Combo过滤", L"COMBOBOX", kIdCombo过滤, L"", 34, 55, 182, 300, kVisible | kCombo, 0, kComboFont, kColorWindowText,
     kColorWindow},
    {L"Text数值2", L"TEXTBOX", kIdText数值2, L"", 127, 79, 89, 20, WS_TABSTOP | kTextBox, WS_EX_CLIENTEDGE,
     kControlFont, kColorWindowText, kColorWindow},
    {L"Command监视结果", L"BUTTON", kIdCommand监视结果, L"监视结果", 2, 102, 71, 25, kVisible | kButton, 0,
     kControlFont},
    {L"Command首次搜索", L"BUTTON", kIdCommand首次搜索, L"首次搜索", 74, 102, 72, 25, kVisible | kButton, 0,
     kControlFont},
    {L"Command再次搜索", L"BUTTON", kIdCommand再次搜索, L"再次搜索", 147, 102, 70, 25, kVisible | kButton | WS_DISABLED,
     0, kControlFont},
    {L"Command读取设置", L"BUTTON", kIdCommand读取设置, L"读取设置", 2, 407, 71, 25, kVisible | kButton, 0,
     kControlFont},
    {L"Text次数", L"TEXTBOX", kIdText次数, L"", 101, 385, 74, 20, kVisible | kTextBox | ES_NUMBER, WS_EX_CLIENTEDGE,
     kControlFont, kColorWindowText, kColorWindow},
    {L"Text偏移", L"TEXTBOX", kIdText偏移, L"", 3, 385, 95, 20, kVisible | kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow},
    {L"Text递增", L"TEXTBOX", kIdText递增, L"", 178, 385, 38, 20, kVisible | kTextBox, WS_EX_CLIENTEDGE, kControlFont,
     kColorWindowText, kColorWindow},
    {L"Command添加偏移", L"BUTTON", kIdCommand添加偏移, L"添加偏移", 147, 407, 70, 25, kVisible | kButton, 0,
     kControlFont},
    {L"Command保存设置", L"BUTTON", kIdCommand保存设置, L"保存设置", 74, 407, 72, 25, kVisible | kButton, 0,
     kControlFont},
};

const wchar_t* const kTypeItems[] = {L"字节",   L"短整型", L"长整型", L"64位整型", L"单精度",
                                     L"双精度", L"A字符",  L"U字符",  L"UTF-8"};
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

void addColumns(HWND list, const Column* columns, int count, double factor) {
    for (int i = 0; i < count; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        column.cx = factor == 0.0 ? columns[i].width : scaled(columns[i].width, factor);
        column.pszText = const_cast<wchar_t*>(columns[i].header);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

}  // namespace

Form1::Form1() : Form(L"Form1") {}

Form1::~Form1() {
    // The window goes first, so that a worker's message to it fails at once
    // instead of waiting for this thread, which then waits for the workers.
    if (IsWindow(hwnd())) DestroyWindow(hwnd());
    if (engine_) {
        engine_->stopRequested = -1;
        engine_->stopMonitor();
    }
    engine_.reset();
}

HWND Form1::create() {
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                            WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    HWND window = createForm(nullptr, L"Corvane", 0, 0, kForm1Width, kForm1Height, style,
                             WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE, L"AAAAA_APPICON");
    if (window == nullptr) return nullptr;
    centerWindow(window, nullptr);
    setMinimumTrackSize(kForm1Width, kForm1Height);
    createControls();
    createMenus();
    sink_ = std::make_unique<WindowSink>(window, controls_.ListView1, controls_.Status1);
    engine_ = std::make_unique<SearchEngine>(target_, *sink_, systemTextCodec());
    postAfterCreation();
    return window;
}

int Form1::run() {
    if (create() == nullptr) return 1;
    if (controls_.Command选择进程 != nullptr) SetFocus(controls_.Command选择进程);
    return showForm(true, nullptr, SW_SHOW);
}

void Form1::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const ControlSpec& spec : kControls) {
        HWND control = createControl(spec);
        switch (spec.id) {
            case kIdText修改内存: controls_.Text修改内存 = control; break;
            case kIdPicture1: controls_.Picture1 = control; break;
            case kIdText修改: controls_.Text修改 = control; break;
            case kIdText结构: controls_.Text结构 = control; break;
            case kIdText数值1: controls_.Text数值1 = control; break;
            case kIdCombo类型: controls_.Combo类型 = control; break;
            case kIdCommand选择进程: controls_.Command选择进程 = control; break;
            case kIdListView结构: controls_.ListView结构 = control; break;
            case kIdStatus1: controls_.Status1 = control; break;
            case kIdListView1: controls_.ListView1 = control; break;
            case kIdCombo进制: controls_.Combo进制 = control; break;
            case kIdCombo过滤: controls_.Combo过滤 = control; break;
            case kIdText数值2: controls_.Text数值2 = control; break;
            case kIdCommand监视结果: controls_.Command监视结果 = control; break;
            case kIdCommand首次搜索: controls_.Command首次搜索 = control; break;
            case kIdCommand再次搜索: controls_.Command再次搜索 = control; break;
            case kIdCommand读取设置: controls_.Command读取设置 = control; break;
            case kIdText次数: controls_.Text次数 = control; break;
            case kIdText偏移: controls_.Text偏移 = control; break;
            case kIdText递增: controls_.Text递增 = control; break;
            case kIdCommand添加偏移: controls_.Command添加偏移 = control; break;
            case kIdCommand保存设置: controls_.Command保存设置 = control; break;
            default: break;
        }
        // The windowless labels and the picker picture sit between the
        // controls in the creation order; the form paints them.
        if (spec.id == kIdText数值1)
            addLabel(L"Label3", kIdLabel3, L"数值", 7, 82, 28, 16, DT_LEFT | DT_WORDBREAK, kControlFont);
        if (spec.id == kIdCombo类型) {
            addLabel(L"Label1", kIdLabel1, L"类型", 6, 33, 33, 16, DT_LEFT | DT_WORDBREAK, kControlFont);
            addLabel(L"Image1", kIdImage1, L"", 4, 3, 24, 24, 0, nullptr);
        }
        if (spec.id == kIdCombo进制)
            addLabel(L"Label2", kIdLabel2, L"条件", 6, 57, 33, 16, DT_LEFT | DT_WORDBREAK, kControlFont);
    }

    for (const wchar_t* item : kTypeItems)
        SendMessageW(controls_.Combo类型, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    for (const wchar_t* item : {L"10进制", L"16进制"})
        SendMessageW(controls_.Combo进制, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    for (const wchar_t* item : kConditionItems)
        SendMessageW(controls_.Combo过滤, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    for (HWND combo : {controls_.Combo类型, controls_.Combo进制, controls_.Combo过滤}) {
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), scaled(20, scale().y));
        SendMessageW(combo, CB_SETITEMHEIGHT, 0, scaled(18, scale().y));
    }

    for (HWND list : {controls_.ListView结构, controls_.ListView1})
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
                     LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const Column structureColumns[] = {{L"起始偏移", 87}, {L"次数", 66}, {L"递增", 38}};
    addColumns(controls_.ListView结构, structureColumns, 3, scale().x);

    // Panel right edges: each positive width scaled; the last takes the rest.
    const int widths[] = {60, 100, 60, 100, 60};
    int edges[6];
    int edge = 0;
    for (int i = 0; i < 5; ++i) edges[i] = edge += scaled(widths[i], scale().x);
    edges[5] = -1;
    SendMessageW(controls_.Status1, SB_SETPARTS, 6, reinterpret_cast<LPARAM>(edges));
    const wchar_t* const panelTexts[] = {L"遍历总数：", L"", L"有效数据：", L"", L"搜索耗时：", L""};
    for (int i = 0; i < 6; ++i)
        SendMessageW(controls_.Status1, SB_SETTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(panelTexts[i]));

    image1Rest_.load(instance, L"PNG_FAVICON1");
    image1Dragging_.load(instance, L"PNG_FAVICON2");
    image1Shown_ = &image1Rest_;
    // Interval 0 with the enabled flag set: no tick until an interval is given.
    timer1Enabled_ = true;
    timer1Interval_ = 0;
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

    popupMenu结构_ = CreatePopupMenu();
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuSaveList, L"保存列表");
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuDeleteRow, L"删除");
    AppendMenuW(popupMenu结构_, MF_STRING, kIdMenuClearRows, L"清空列表");
}

void Form1::onLoad() {
    const Column resultColumns[] = {{L"偏移", 200}, {L"值", 145}, {L"地址", 95}};
    addColumns(controls_.ListView1, resultColumns, 3, 0.0);  // device pixels
    SendMessageW(controls_.Combo类型, CB_SETCURSEL, 2, 0);
    SendMessageW(controls_.Combo进制, CB_SETCURSEL, 0, 0);
    SendMessageW(controls_.Combo过滤, CB_SETCURSEL, 0, 0);
    RECT combo{};
    GetWindowRect(controls_.Combo过滤, &combo);
    RECT value{};
    GetWindowRect(controls_.Text数值1, &value);
    SetWindowPos(controls_.Text数值1, nullptr, 0, 0, combo.right - combo.left, value.bottom - value.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Until a process is chosen only the process button and the picker work.
    disableInputs(controls_.Command选择进程, true);
    createSettingsFolder(settingsFolder());
    SetWindowTextW(hwnd(), L"Corvane 2.0.4");
}

void Form1::onDestroy() {
    KillTimer(hwnd(), kIdMyDrawWin1);
    KillTimer(hwnd(), kIdTimer1);
    if (popupMenu结果_ != nullptr) DestroyMenu(popupMenu结果_);
    if (popupMenu结构_ != nullptr) DestroyMenu(popupMenu结构_);
    popupMenu结果_ = popupMenu结构_ = nullptr;
}

}  // namespace corvane
