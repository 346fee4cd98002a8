// The main window's wiring: which message reaches which handler, and what
// each search command reads, checks, starts and changes.

#include <cstdio>

#include "framework/routes.h"
#include "framework/window_text.h"
#include "settings/settings_paths.h"
#include "ui/main_window.h"
#include "ui/target_messages.h"
#include "ui/wait_indicator.h"

namespace corvane {
namespace {

constexpr COLORREF kDisabledBack = 0xF0F0F0;
constexpr COLORREF kEnabledBack = 0xFFFFFF;
constexpr int kTextValue1BetweenWidth = 79;  // device pixels

bool isSecondPass(int condition) { return condition >= static_cast<int>(SearchCondition::Unchanged); }

}  // namespace

std::string Form1::loadedStructureName() const {
    const ControlRecord* record = recordOf(controls_.Text结构);
    return record == nullptr ? std::string() : narrow(record->tag);
}

std::string Form1::targetName() const { return narrow(controls_.Command选择进程.text()); }

LRESULT Form1::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kCaptureSettingsMessage: onCaptureSettings(*reinterpret_cast<SearchSettings*>(lParam)); return 0;
        case kFirstSearchEndedMessage:
            onFirstSearchEnded(*reinterpret_cast<const FirstSearchReport*>(lParam));
            return 0;
        case kReformatEndedMessage: onReformatEnded(); return 0;
        case kOpenFailedMessage: onOpenFailed(static_cast<DWORD>(wParam)); return 0;
        case kModuleMissingMessage: onModuleMissing(); return 0;
        case kPublishCountMessage: controls_.ListView1.setVirtualCount(engine_->results().count()); return 0;
        default: return frameworkMessage(message, wParam, lParam);
    }
}

void Form1::onCommand(int id, int code, HWND control) {
    static const CommandRoute<Form1> routes[] = {
        {kIdText结构, EN_CHANGE, &Form1::onStructureTextChanged},
        {kIdText结构, EN_KILLFOCUS, &Form1::parseStructureText},
        {kIdCombo类型, CBN_SELCHANGE, &Form1::onTypeChanged},
        {kIdCombo进制, CBN_SELCHANGE, &Form1::onBaseChanged},
        {kIdCombo过滤, CBN_SELCHANGE, &Form1::onConditionChanged},
        {kIdCommand选择进程, BN_CLICKED, &Form1::showProcessList},
        {kIdCommand监视结果, BN_CLICKED, &Form1::onMonitor},
        {kIdCommand首次搜索, BN_CLICKED, &Form1::onFirstSearch},
        {kIdCommand再次搜索, BN_CLICKED, &Form1::onNextSearch},
        {kIdCommand读取设置, BN_CLICKED, &Form1::showLoadDialog},
        {kIdCommand添加偏移, BN_CLICKED, &Form1::onAddStructureRow},
        {kIdCommand保存设置, BN_CLICKED, &Form1::showSaveDialog},
        {kIdText修改, EN_KILLFOCUS, &Form1::onStructureEditLeft},
        {kIdText修改内存, EN_KILLFOCUS, &Form1::onValueEditLeft},
        // The popup menus' commands, posted once a menu has closed.
        {kIdMenuCopyRow, 0, &Form1::onCopyRow},
        {kIdMenuCopyPath, 0, &Form1::onCopyPath},
        {kIdMenuCopyValue, 0, &Form1::onCopyValue},
        {kIdMenuCopyAddress, 0, &Form1::onCopyAddress},
        {kIdMenuDeleteResult, 0, &Form1::onDeleteResult},
        {kIdMenuClearResults, 0, &Form1::onClearResults},
        {kIdMenuSaveList, 0, &Form1::onSaveList},
        {kIdMenuDeleteRow, 0, &Form1::onDeleteStructureRow},
        {kIdMenuClearRows, 0, &Form1::onClearStructureRows},
        {kIdMenuPointerScan, 0, &Form1::showPointerScan},
        {kIdMenuDissect, 0, &Form1::showDissect},
    };
    if (!routeCommand<Form1>(*this, routes, id, code)) Form::onCommand(id, code, control);
}

LRESULT Form1::onNotify(NMHDR& header) {
    static const NotifyRoute<Form1> routes[] = {
        {kIdListView结构, LVN_INSERTITEM, &Form1::onStructureRowInserted},
        {kIdListView1, LVN_GETDISPINFOW, &Form1::onGetDisplayInfo},
        {kIdListView结构, LVN_ITEMACTIVATE, &Form1::onStructureItemActivate},
        {kIdListView1, LVN_ITEMACTIVATE, &Form1::onResultItemActivate},
    };
    LRESULT result = 0;
    routeNotify<Form1>(*this, routes, header, result);
    return result;
}

void Form1::onResized() { controls_.Status1.send(WM_SIZE); }

bool Form1::onAfterHandlers(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // The window draws its own caption and frame: every message reaches the
    // painter once this window's own handlers have had it.
    caption_.setScale(scale());
    return caption_.handleMessage(hwnd(), message, wParam, lParam, result);
}

void Form1::onPaint(HDC dc) {
    if (const ControlRecord* image = label(kIdImage1); image != nullptr && image1Shown_ != nullptr)
        image1Shown_->draw(dc, deviceRect(image->geometry));
}

LRESULT Form1::onStructureRowInserted(NMHDR&) {
    controls_.Command首次搜索.enable();
    return 0;
}

// Formats only the requested cell, straight from the result store, into the
// column's buffer; the list copies it before the next request for the column.
LRESULT Form1::onGetDisplayInfo(NMHDR& header) {
    auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
    const int column = info.item.iSubItem;
    if (column < 0 || column > 2 || info.item.iItem < 0) return 0;
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
    return 0;
}

std::array<HWND, 9> Form1::inputs() const {
    const Form1Controls& c = controls_;
    return {c.Combo类型, c.Combo进制, c.Combo过滤, c.Text结构, c.Text数值1,
            c.Text数值2, c.Text偏移,  c.Text次数,  c.Text递增};
}

void Form1::setInputs(bool enabled) {
    for (HWND input : inputs()) EnableWindow(input, enabled);
    // The last six inputs are the text boxes.
    for (std::size_t i = 3; i < inputs().size(); ++i)
        setControlBackground(inputs()[i], enabled ? kEnabledBack : kDisabledBack);
}

void Form1::disableInputs(HWND keep, bool imageUsable) {
    const Form1Controls& c = controls_;
    setInputs(false);
    for (HWND control :
         {c.Command监视结果.hwnd(), c.Command首次搜索.hwnd(), c.Command再次搜索.hwnd(), c.Command选择进程.hwnd(),
          c.Command读取设置.hwnd(), c.Command保存设置.hwnd(), c.Command添加偏移.hwnd(), c.ListView结构.hwnd()})
        EnableWindow(control, FALSE);
    if (keep != nullptr) EnableWindow(keep, TRUE);
    if (!imageUsable) image1Inert_ = true;
}

void Form1::enableInputs(bool secondPass) {
    const Form1Controls& c = controls_;
    setInputs(true);
    for (HWND control :
         {c.Command选择进程.hwnd(), c.Command读取设置.hwnd(), c.Command添加偏移.hwnd(), c.ListView结构.hwnd()})
        EnableWindow(control, TRUE);
    image1Inert_ = false;
    if (secondPass) {
        c.Command再次搜索.enable();
        c.Command监视结果.enable();
    }
    if (c.Text结构.textLength() > 0) c.Command保存设置.enable();
}

void Form1::onFirstSearch() {
    const Form1Controls& c = controls_;
    parseStructureText();
    if (isSecondPass(c.Combo过滤.selection())) {
        c.Combo过滤.select(static_cast<int>(SearchCondition::None));
        onConditionChanged();
    }
    engine_->stopRequested.clear();
    c.Combo过滤.focus();
    if (c.Command首次搜索.text() != L"首次搜索") {
        engine_->stopRequested.raise();
        return;
    }
    if (!engine_->busyCheck()) return;
    // A structure that cannot be walked is refused before anything changes.
    Structure structure;
    switch (structureFromTexts(structureRowTexts(), structure)) {
        case StructureProblem::None: break;
        case StructureProblem::BadModule: messageBox(hwnd(), kBadModuleRefusal, MB_OK); return;
        case StructureProblem::ModuleInLaterRow: messageBox(hwnd(), kLaterModuleRefusal, MB_OK); return;
        case StructureProblem::MemoryInLaterRow: messageBox(hwnd(), kLaterMemoryRefusal, MB_OK); return;
    }
    writeSettingsSection(configFilePath(), targetName());
    disableInputs(c.Command首次搜索, false);
    c.ListView1.setVirtualCount(0);
    c.ListView1.deleteAll();
    lastRows_ = structure.rows;
    lastMemory_ = structure.memory;
    // The caption reads "停止搜索" before the worker exists, so a worker that
    // ends at once always leaves "首次搜索" behind.
    c.Command首次搜索.setText(L"停止搜索");
    if (!engine_->startFirstSearch(lastRows_, structure.module,
                                   structure.memory ? FirstRow::Memory : FirstRow::Offsets)) {
        // No thread: nothing runs, so the window is as after a search.
        c.Command首次搜索.setText(L"首次搜索");
        enableInputs(false);
        return;
    }
    startWaitIndicator(traversalTotal(lastRows_));
}

void Form1::onFirstSearchEnded(const FirstSearchReport& report) {
    enableInputs(true);
    if (lastMemory_) controls_.Status1.setPartText(1, statusTotalText(report.candidates));
    controls_.Command首次搜索.setText(L"首次搜索");
    // Said after the worker has ended, so the message waits for no one.
    if (report.openError != 0) PostMessageW(hwnd(), kOpenFailedMessage, report.openError, 0);
}

void Form1::onOpenFailed(DWORD error) { messageBox(hwnd(), openFailedText(error).c_str(), MB_OK); }

void Form1::onModuleMissing() {
    std::vector<std::string> modules;
    {
        std::lock_guard lock(missingMutex_);
        modules.swap(missingModules_);
    }
    for (const std::string& module : modules) messageBox(hwnd(), L"目标进程中没有模块 " + widen(module) + L"。", MB_OK);
}

void Form1::onNextSearch() {
    controls_.Combo过滤.focus();
    if (engine_->startNextSearch()) startWaitIndicator(traversalTotal(lastRows_));
}

void Form1::onMonitor() {
    const Form1Controls& c = controls_;
    if (c.Command监视结果.text() == L"监视结果") {
        if (engine_->snapshotAddresses() != 0 && engine_->busyCheck()) {
            messageBox(hwnd(), kSnapshotMonitorRefusal, MB_OK);
            return;
        }
        if (!engine_->startMonitor()) return;
        disableInputs(c.Command监视结果, false);
        c.Command监视结果.setText(L"停止监视");
        return;
    }
    engine_->stopMonitor();
    c.Command再次搜索.enable();
    c.Command首次搜索.enable();
    enableInputs(false);
    c.Command监视结果.setText(L"监视结果");
}

void Form1::rebuildBaseItems() {
    const Form1Controls& c = controls_;
    const int index = c.Combo类型.selection();
    const auto type = static_cast<ValueType>(index);
    c.Combo进制.reset();
    if (index >= 0 && isTextType(type)) return;  // the text types have no base
    const bool floats = isFloatType(type);
    c.Combo进制.add(floats ? L"忽略小数" : L"10进制");
    c.Combo进制.add(floats ? L"绝对匹配" : L"16进制");
    c.Combo进制.select(0);
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
    // With no type selected the base list holds the integer bases.
    const int index = controls_.Combo类型.selection();
    if (index < 0 || isIntegerType(static_cast<ValueType>(index))) startReformat();
}

void Form1::onReformatEnded() {
    controls_.Command首次搜索.enable();
    enableInputs(true);
}

void Form1::onConditionChanged() {
    const Form1Controls& c = controls_;
    const RECT combo = c.Combo过滤.rectInParent();
    const RECT value = c.Text数值1.rectInParent();
    const int height = value.bottom - value.top;
    c.Text数值1.resize(combo.right - combo.left, height);
    c.Text数值2.show(false);
    c.Text数值1.enable();
    setControlBackground(c.Text数值1, kEnabledBack);
    const int condition = c.Combo过滤.selection();
    if (condition == static_cast<int>(SearchCondition::Between)) {
        c.Text数值1.resize(kTextValue1BetweenWidth, height);
        c.Text数值2.show();
    }
    if (isSecondPass(condition)) {
        c.Text数值1.enable(false);
        setControlBackground(c.Text数值1, kDisabledBack);
    }
}

void Form1::onCaptureSettings(SearchSettings& settings) {
    const Form1Controls& c = controls_;
    const int type = c.Combo类型.selection();
    settings.type =
        static_cast<ValueType>(type >= 0 && type < kValueTypeCount ? type : static_cast<int>(ValueType::Long));
    const int base = c.Combo进制.selection();
    settings.baseMode = static_cast<std::uint8_t>(base < 0 ? kNoBaseMode : base);
    const int condition = c.Combo过滤.selection();
    settings.condition =
        static_cast<SearchCondition>(condition >= 0 && condition < kSearchConditionCount ? condition : 0);
    settings.value1 = narrow(c.Text数值1.text());
    settings.value2 = narrow(c.Text数值2.text());
}

void Form1::startWaitIndicator(std::uint64_t total) {
    WaitIndicatorJob job;
    // A memory row's total is known only at the end of its first search,
    // which writes it then; the indicator leaves it standing.
    job.windows = {controls_.Picture1, controls_.ListView1, lastMemory_ ? nullptr : controls_.Status1.hwnd()};
    job.traversalTotal = total;
    // The indicator may outlive this window and its engine: it watches the
    // shared flags, which read all stopped once the engine is gone.
    job.watchedWorkerRunning = [flags = engine_->workerFlags()] {
        return flags->running(Worker::FirstSearch) || flags->running(Worker::NextSearch) ||
               flags->running(Worker::Reformat);
    };
    const std::uint64_t number = ++*indicatorsStarted_;
    job.superseded = [started = indicatorsStarted_, number] { return started->load() != number; };
    corvane::startWaitIndicator(std::move(job));
}

}  // namespace corvane
