// The main window's wiring: which message reaches which handler, and what
// each command reads, checks, starts and changes.

#include <cmath>
#include <cstdio>

#include "engine/value_parse.h"
#include "framework/window_text.h"
#include "settings/settings_paths.h"
#include "ui/main_window.h"

#include <windowsx.h>
#include "ui/process_name.h"
#include "ui/wait_indicator.h"

namespace corvane {
namespace {

constexpr COLORREF kDisabledBack = 0xF0F0F0;
constexpr COLORREF kEnabledBack = 0xFFFFFF;
constexpr int kConditionBetween = 5;
constexpr int kFirstSecondPassCondition = 7;
constexpr int kTextValue1BetweenWidth = 79;  // device pixels

}  // namespace

std::wstring Form1::text(HWND control) const {
    const int length = GetWindowTextLengthW(control);
    std::wstring value(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, value.data(), length + 1);
    value.resize(static_cast<std::size_t>(length));
    return value;
}

void Form1::setText(HWND control, const std::wstring& value) { SetWindowTextW(control, value.c_str()); }

int Form1::selection(HWND combo) const { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

void Form1::setTextBackground(HWND control, COLORREF colour) {
    if (ControlRecord* record = recordOf(control)) record->backColor = colour;
    InvalidateRect(control, nullptr, TRUE);
}

std::string Form1::loadedStructureName() const {
    const ControlRecord* record = recordOf(controls_.Text结构);
    return record == nullptr ? std::string() : narrow(record->tag);
}

LRESULT Form1::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: onSize(wParam); return 0;
        case WM_PAINT: onPaint(); return 0;
        case WM_NOTIFY: return onNotify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_TIMER: onTimer(wParam); return 0;
        case WM_LBUTTONDOWN: onLeftButtonDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
        case kCaptureSettingsMessage: onCaptureSettings(*reinterpret_cast<SearchSettings*>(lParam)); return 0;
        case kFirstSearchEndedMessage:
            onFirstSearchEnded(*reinterpret_cast<const FirstSearchReport*>(lParam));
            return 0;
        case kReformatEndedMessage: onReformatEnded(); return 0;
        case kOpenFailedMessage: onOpenFailed(static_cast<DWORD>(wParam)); return 0;
        case WM_DESTROY: onDestroy(); break;
        default: break;
    }
    return frameworkMessage(message, wParam, lParam);
}

void Form1::onSize(WPARAM kind) {
    if (kind == SIZE_MINIMIZED) return;
    SendMessageW(controls_.Status1, WM_SIZE, 0, 0);
    layoutAnchors();
}

void Form1::onPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    paintBackgroundAndLabels(dc);
    if (const ControlRecord* image = label(kIdImage1); image != nullptr && image1Shown_ != nullptr) {
        const Geometry& g = image->geometry;
        const RECT box{scaled(g.left, scale().x), scaled(g.top, scale().y), scaled(g.left + g.width, scale().x),
                       scaled(g.top + g.height, scale().y)};
        image1Shown_->draw(dc, box);
    }
    EndPaint(hwnd(), &paint);
}

LRESULT Form1::onNotify(const NMHDR& header, LPARAM lParam) {
    if (header.idFrom == kIdListView结构 && header.code == LVN_INSERTITEM) {
        EnableWindow(controls_.Command首次搜索, TRUE);
        return 0;
    }
    if (header.idFrom == kIdListView1 && header.code == LVN_GETDISPINFOW) {
        onGetDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return 0;
    }
    return 0;
}

// Formats only the requested cell, straight from the result store, into the
// column's buffer; the list copies it before the next request for the column.
void Form1::onGetDisplayInfo(NMLVDISPINFOW& info) {
    const int column = info.item.iSubItem;
    if (column < 0 || column > 2 || info.item.iItem < 0) return;
    std::string cell;
    engine_->results().appendCellText(static_cast<std::size_t>(info.item.iItem), column, cell);
    std::wstring& buffer = cellText_[static_cast<std::size_t>(column)];
    buffer = widen(cell);
    if ((info.item.mask & LVIF_TEXT) != 0 && info.item.pszText != nullptr && info.item.cchTextMax > 0) {
        const std::size_t room = static_cast<std::size_t>(info.item.cchTextMax) - 1;
        const std::size_t length = buffer.size() < room ? buffer.size() : room;
        buffer.copy(info.item.pszText, length);
        info.item.pszText[length] = L'\0';
    } else {
        info.item.pszText = buffer.data();
    }
}

void Form1::onCommand(int id, int code) {
    switch (id) {
        case kIdText结构:
            if (code == EN_CHANGE) onStructureTextChanged();
            if (code == EN_KILLFOCUS) parseStructureText();
            return;
        case kIdCombo类型:
            if (code == CBN_SELCHANGE) onTypeChanged();
            return;
        case kIdCombo进制:
            if (code == CBN_SELCHANGE) onBaseChanged();
            return;
        case kIdCombo过滤:
            if (code == CBN_SELCHANGE) onConditionChanged();
            return;
        case kIdCommand监视结果:
            if (code == BN_CLICKED) onMonitor();
            return;
        case kIdCommand首次搜索:
            if (code == BN_CLICKED) onFirstSearch();
            return;
        case kIdCommand再次搜索:
            if (code == BN_CLICKED) onNextSearch();
            return;
        case kIdCommand添加偏移:
            if (code == BN_CLICKED) onAddStructureRow();
            return;
        default:
            // The process list, the settings dialogs and the list menus'
            // commands are not wired to this window yet; the drag picker
            // chooses the target meanwhile.
            return;
    }
}

bool Form1::onControlMessage(ControlRecord&, HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

std::array<HWND, 9> Form1::inputs() const {
    return {controls_.Combo类型, controls_.Combo进制, controls_.Combo过滤, controls_.Text结构, controls_.Text数值1,
            controls_.Text数值2, controls_.Text偏移,  controls_.Text次数,  controls_.Text递增};
}

void Form1::setInputs(bool enabled) {
    for (HWND input : inputs()) EnableWindow(input, enabled);
    // The last six inputs are the text boxes.
    for (std::size_t i = 3; i < inputs().size(); ++i)
        setTextBackground(inputs()[i], enabled ? kEnabledBack : kDisabledBack);
}

void Form1::disableInputs(HWND keep, bool imageUsable) {
    setInputs(false);
    for (HWND control :
         {controls_.Command监视结果, controls_.Command首次搜索, controls_.Command再次搜索, controls_.Command选择进程,
          controls_.Command读取设置, controls_.Command保存设置, controls_.Command添加偏移, controls_.ListView结构})
        EnableWindow(control, FALSE);
    if (keep != nullptr) EnableWindow(keep, TRUE);
    if (!imageUsable) image1Inert_ = true;
}

void Form1::enableInputs(bool secondPass) {
    setInputs(true);
    for (HWND control :
         {controls_.Command选择进程, controls_.Command读取设置, controls_.Command添加偏移, controls_.ListView结构})
        EnableWindow(control, TRUE);
    image1Inert_ = false;
    if (secondPass) {
        EnableWindow(controls_.Command再次搜索, TRUE);
        EnableWindow(controls_.Command监视结果, TRUE);
    }
    if (GetWindowTextLengthW(controls_.Text结构) > 0) EnableWindow(controls_.Command保存设置, TRUE);
}

std::vector<StructureRowText> Form1::structureRowTexts() const {
    std::vector<StructureRowText> rows;
    const int count = static_cast<int>(SendMessageW(controls_.ListView结构, LVM_GETITEMCOUNT, 0, 0));
    wchar_t buffer[2048];
    for (int row = 0; row < count; ++row) {
        StructureRowText texts;
        std::string* cells[] = {&texts.start, &texts.count, &texts.increment};
        for (int column = 0; column < 3; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = 2048;
            buffer[0] = L'\0';
            SendMessageW(controls_.ListView结构, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            *cells[column] = narrow(buffer);
        }
        rows.push_back(std::move(texts));
    }
    return rows;
}

void Form1::appendStructureRow(const std::array<std::wstring, 3>& cells) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(controls_.ListView结构, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(cells[0].c_str());
    const auto index =
        static_cast<WPARAM>(SendMessageW(controls_.ListView结构, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 1; column < 3; ++column) {
        LVITEMW sub{};
        sub.iSubItem = column;
        sub.pszText = const_cast<wchar_t*>(cells[static_cast<std::size_t>(column)].c_str());
        SendMessageW(controls_.ListView结构, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
    }
}

void Form1::parseStructureText() {
    const std::string structure = narrow(text(controls_.Text结构));
    const int existing = static_cast<int>(SendMessageW(controls_.ListView结构, LVM_GETITEMCOUNT, 0, 0));
    if (structure.empty() && existing == 0) {
        for (HWND button : {controls_.Command首次搜索, controls_.Command再次搜索, controls_.Command监视结果})
            EnableWindow(button, FALSE);
        return;
    }
    SendMessageW(controls_.ListView结构, LVM_DELETEALLITEMS, 0, 0);
    for (const StructureRowText& texts : corvane::parseStructureText(structure))
        appendStructureRow({widen(texts.start), widen(texts.count), widen(texts.increment)});
}

void Form1::rebuildStructureText() {
    const std::vector<StructureRowText> rows = structureRowTexts();
    setText(controls_.Text结构, widen(corvane::rebuildStructureText(rows)));
}

bool Form1::isCanonicalHex(const std::string& offset) {
    const double value = std::nearbyint(parseValueText("&H" + offset));
    // Above 2^53 a double no longer holds every integer: such offsets fail.
    if (!(std::fabs(value) <= 9007199254740992.0)) return false;
    char digits[24];
    const auto integer = static_cast<long long>(value);
    if (integer < 0) return false;
    std::snprintf(digits, sizeof digits, "%llX", integer);
    std::string upper = offset;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper == digits;
}

void Form1::onStructureTextChanged() {
    if (GetWindowTextLengthW(controls_.Text结构) == 0) {
        SendMessageW(controls_.ListView结构, LVM_DELETEALLITEMS, 0, 0);
        for (HWND button : {controls_.Command首次搜索, controls_.Command再次搜索, controls_.Command监视结果})
            EnableWindow(button, FALSE);
        return;
    }
    EnableWindow(controls_.Command首次搜索, TRUE);
    EnableWindow(controls_.Command保存设置, TRUE);
}

void Form1::onAddStructureRow() {
    const std::wstring offset = text(controls_.Text偏移);
    auto refuse = [&](const wchar_t* message) {
        messageBox(hwnd(), message, MB_OK);
        SetFocus(controls_.Text偏移);
        SendMessageW(controls_.Text偏移, EM_SETSEL, 0, -1);
    };
    if (offset.empty()) return refuse(L"请输入起始偏移！");
    if (GetWindowTextLengthW(controls_.Text次数) == 0) setText(controls_.Text次数, L"0");
    if (GetWindowTextLengthW(controls_.Text递增) == 0) setText(controls_.Text递增, L"4");
    if (!isCanonicalHex(narrow(offset))) return refuse(L"不是有效的十六进制数据！");

    appendStructureRow({offset, text(controls_.Text次数), text(controls_.Text递增)});
    rebuildStructureText();
}

void Form1::onFirstSearch() {
    parseStructureText();
    if (selection(controls_.Combo过滤) >= kFirstSecondPassCondition) {
        SendMessageW(controls_.Combo过滤, CB_SETCURSEL, 0, 0);
        onConditionChanged();
    }
    engine_->stopRequested = 0;
    SetFocus(controls_.Combo过滤);
    if (text(controls_.Command首次搜索) != L"首次搜索") {
        engine_->stopRequested = -1;
        return;
    }
    if (!engine_->busyCheck()) return;
    writeSettingsSection(configFilePath(), narrow(text(controls_.Command选择进程)));
    disableInputs(controls_.Command首次搜索, false);
    SendMessageW(controls_.ListView1, LVM_SETITEMCOUNT, 0, 0);
    SendMessageW(controls_.ListView1, LVM_DELETEALLITEMS, 0, 0);
    lastRows_ = structureRowsFromTexts(structureRowTexts());
    // The caption reads "停止搜索" before the worker exists, so a worker that
    // ends at once always leaves "首次搜索" behind.
    setText(controls_.Command首次搜索, L"停止搜索");
    if (!engine_->startFirstSearch(lastRows_)) {
        setText(controls_.Command首次搜索, L"首次搜索");
        enableInputs(false);
        return;
    }
    startWaitIndicator(traversalTotal(lastRows_));
}

void Form1::onFirstSearchEnded(const FirstSearchReport& report) {
    enableInputs(true);
    setText(controls_.Command首次搜索, L"首次搜索");
    // Said after the worker has ended, so the message waits for no one.
    if (report.openError != 0) PostMessageW(hwnd(), kOpenFailedMessage, report.openError, 0);
}

void Form1::onOpenFailed(DWORD error) {
    wchar_t message[160];
    std::swprintf(message, 160, L"无法打开目标进程（错误代码 %lu）。请确认进程仍在运行，并以管理员身份运行本程序。",
                  error);
    messageBox(hwnd(), message, MB_OK);
}

void Form1::onNextSearch() {
    SetFocus(controls_.Combo过滤);
    if (engine_->startNextSearch()) startWaitIndicator(traversalTotal(lastRows_));
}

void Form1::onMonitor() {
    if (text(controls_.Command监视结果) == L"监视结果") {
        if (!engine_->startMonitor()) return;
        disableInputs(controls_.Command监视结果, false);
        setText(controls_.Command监视结果, L"停止监视");
        return;
    }
    engine_->stopMonitor();
    EnableWindow(controls_.Command再次搜索, TRUE);
    EnableWindow(controls_.Command首次搜索, TRUE);
    enableInputs(false);
    setText(controls_.Command监视结果, L"监视结果");
}

void Form1::rebuildBaseItems() {
    const int type = selection(controls_.Combo类型);
    SendMessageW(controls_.Combo进制, CB_RESETCONTENT, 0, 0);
    if (type >= 6) return;  // the text types have no base
    const bool floats = type == 4 || type == 5;
    for (const wchar_t* item : {floats ? L"忽略小数" : L"10进制", floats ? L"绝对匹配" : L"16进制"})
        SendMessageW(controls_.Combo进制, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageW(controls_.Combo进制, CB_SETCURSEL, 0, 0);
}

void Form1::startReformat() {
    if (!engine_->busyCheck()) return;
    disableInputs(controls_.Command添加偏移, false);
    if (!engine_->startReformat()) {
        enableInputs(true);
        return;
    }
    startWaitIndicator(traversalTotal(lastRows_));
}

void Form1::onTypeChanged() {
    rebuildBaseItems();
    startReformat();
}

void Form1::onBaseChanged() {
    if (selection(controls_.Combo类型) <= 3) startReformat();
}

void Form1::onReformatEnded() {
    EnableWindow(controls_.Command首次搜索, TRUE);
    enableInputs(true);
}

void Form1::onConditionChanged() {
    RECT combo{};
    GetWindowRect(controls_.Combo过滤, &combo);
    RECT value{};
    GetWindowRect(controls_.Text数值1, &value);
    const int height = value.bottom - value.top;
    SetWindowPos(controls_.Text数值1, nullptr, 0, 0, combo.right - combo.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(controls_.Text数值2, SW_HIDE);
    EnableWindow(controls_.Text数值1, TRUE);
    setTextBackground(controls_.Text数值1, kEnabledBack);
    const int condition = selection(controls_.Combo过滤);
    if (condition == kConditionBetween) {
        SetWindowPos(controls_.Text数值1, nullptr, 0, 0, kTextValue1BetweenWidth, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(controls_.Text数值2, SW_SHOW);
    }
    if (condition >= kFirstSecondPassCondition) {
        EnableWindow(controls_.Text数值1, FALSE);
        setTextBackground(controls_.Text数值1, kDisabledBack);
    }
}

void Form1::onCaptureSettings(SearchSettings& settings) {
    const int type = selection(controls_.Combo类型);
    settings.type = static_cast<ValueType>(type >= 0 && type < 9 ? type : 2);
    const int base = selection(controls_.Combo进制);
    settings.baseMode = static_cast<std::uint8_t>(base < 0 ? kNoBaseMode : base);
    const int condition = selection(controls_.Combo过滤);
    settings.condition = static_cast<SearchCondition>(condition >= 0 && condition < 11 ? condition : 0);
    settings.value1 = narrow(text(controls_.Text数值1));
    settings.value2 = narrow(text(controls_.Text数值2));
}

void Form1::startWaitIndicator(std::uint64_t total) {
    WaitIndicatorJob job;
    job.windows = {controls_.Picture1, controls_.ListView1, controls_.Status1};
    job.traversalTotal = total;
    // The indicator may outlive this window and its engine: it watches the
    // shared flags, which read all stopped once the engine is gone.
    job.watchedWorkerRunning = [flags = engine_->workerFlags()] {
        return flags->running(Worker::FirstSearch) || flags->running(Worker::NextSearch) ||
               flags->running(Worker::Reformat);
    };
    corvane::startWaitIndicator(std::move(job));
}

void Form1::onLeftButtonDown(POINT point) {
    const ControlRecord* image = label(kIdImage1);
    if (image == nullptr || image1Inert_) return;
    const Geometry& g = image->geometry;
    const RECT box{scaled(g.left, scale().x), scaled(g.top, scale().y), scaled(g.left + g.width, scale().x),
                   scaled(g.top + g.height, scale().y)};
    if (!PtInRect(&box, point)) return;
    if (HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), L"CURSOR_FAVICON1")) SetCursor(cursor);
    SetCapture(hwnd());
    picking_ = true;
    image1Shown_ = &image1Dragging_;
    InvalidateRect(hwnd(), &box, TRUE);
    timer1Enabled_ = true;
    timer1Interval_ = 100;
    SetTimer(hwnd(), kIdTimer1, timer1Interval_, nullptr);
}

void Form1::onTimer(UINT_PTR id) {
    if (id != kIdTimer1) return;
    // One tick at a time: the timer is set again only after the tick.
    KillTimer(hwnd(), kIdTimer1);
    pickerTick();
    if (timer1Enabled_ && timer1Interval_ > 0) SetTimer(hwnd(), kIdTimer1, timer1Interval_, nullptr);
}

void Form1::pickerTick() {
    POINT cursor{};
    GetCursorPos(&cursor);
    HWND under = WindowFromPoint(cursor);
    DWORD pid = 0;
    GetWindowThreadProcessId(under, &pid);
    if (GetAsyncKeyState(VK_LBUTTON) != 0) return;
    ReleaseCapture();
    picking_ = false;
    image1Shown_ = &image1Rest_;
    InvalidateRect(hwnd(), nullptr, TRUE);
    choosePickedProcess(pid);
    timer1Enabled_ = false;
    timer1Interval_ = 0;
}

void Form1::choosePickedProcess(DWORD pid) {
    if (pid == target_.targetPid.load()) return;
    target_.targetPid = pid;
    EnableWindow(controls_.Command监视结果, FALSE);
    EnableWindow(controls_.Command再次搜索, FALSE);
    setText(controls_.Command选择进程, widen(processExeName(pid)));
    readSettingsSection(configFilePath(), narrow(text(controls_.Command选择进程)));
    enableInputs(false);
}

}  // namespace corvane
