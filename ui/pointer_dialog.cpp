#include "ui/pointer_dialog.h"

#include <commdlg.h>

#include <filesystem>
#include <fstream>

#include "engine/text/hex_text.h"
#include "engine/files/pointer_map_file.h"
#include "engine/files/pointer_paths_file.h"
#include "engine/text/text_codec.h"
#include "framework/fonts.h"
#include "framework/routes.h"
#include "framework/window_text.h"
#include "ui/pointer_dialog_logic.h"
#include "ui/target_messages.h"

namespace corvane {
namespace {

constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER | BS_PUSHBUTTON;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kLabel = WS_VISIBLE;

std::wstring hexText(std::uint64_t value) {
    std::string text;
    appendHex(text, value);
    return widen(text);
}

std::wstring progressText(const PointerJobProgress& progress) {
    switch (progress.phase) {
        case PointerScanProgress::Mapping:
            return L"读取内存 " + std::to_wstring(progress.bytesRead >> 20) + L"/" +
                   std::to_wstring(progress.bytesTotal >> 20) + L" MB";
        case PointerScanProgress::Sorting: return L"排序 " + std::to_wstring(progress.pointers) + L" 个指针";
        case PointerScanProgress::Levels:
        case PointerScanProgress::Paths: return L"第 " + std::to_wstring(progress.level) + L" 层";
        default: return L"";
    }
}

}  // namespace

PointerDialog::PointerDialog(SearchEngine& engine, TargetProcess& target, std::function<void(const std::string&)> use)
    : ModalDialog(L"Form指针"), target_(target), use_(std::move(use)), jobs_(engine, target, target, &target) {}

// The job's sink is this dialog: it must not outlive it.
PointerDialog::~PointerDialog() { jobs_.stopAndWait(); }

bool PointerDialog::build(HWND owner) {
    PointerDialogControls& c = controls_;
    const ControlSpec table[] = {
        {nullptr, L"Label地址", kWindowlessLabel, kIdLabel地址, L"地址", 8, 12, 50, 18, kLabel, 0, kDialogFont},
        {&c.Text地址, L"Text地址", L"EDIT", kIdText地址, L"", 62, 8, 140, 22, kEdit, WS_EX_CLIENTEDGE, kDialogFont},
        {nullptr, L"Label深度", kWindowlessLabel, kIdLabel深度, L"深度", 214, 12, 36, 18, kLabel, 0, kDialogFont},
        {&c.Text深度, L"Text深度", L"EDIT", kIdText深度, L"5", 252, 8, 40, 22, kEdit, WS_EX_CLIENTEDGE, kDialogFont},
        {nullptr, L"Label最大偏移", kWindowlessLabel, kIdLabel最大偏移, L"最大偏移", 8, 40, 54, 18, kLabel, 0,
         kDialogFont},
        {&c.Text最大偏移, L"Text最大偏移", L"EDIT", kIdText最大偏移, L"1000", 62, 36, 80, 22, kEdit, WS_EX_CLIENTEDGE,
         kDialogFont},
        {nullptr, L"Label最小偏移", kWindowlessLabel, kIdLabel最小偏移, L"最小偏移", 152, 40, 54, 18, kLabel, 0,
         kDialogFont},
        {&c.Text最小偏移, L"Text最小偏移", L"EDIT", kIdText最小偏移, L"0", 212, 36, 80, 22, kEdit, WS_EX_CLIENTEDGE,
         kDialogFont},
        {nullptr, L"Label模块", kWindowlessLabel, kIdLabel模块, L"模块", 8, 68, 50, 18, kLabel, 0, kDialogFont},
        {&c.Combo模块, L"Combo模块", L"COMBOBOX", kIdCombo模块, L"", 62, 64, 230, 300,
         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, kDialogFont},
        {&c.Command扫描, L"Command扫描", L"BUTTON", kIdCommand扫描, L"扫描", 306, 8, 80, 26, kButton | BS_DEFPUSHBUTTON,
         0, kDialogFont},
        {&c.Command重新扫描, L"Command重新扫描", L"BUTTON", kIdCommand重新扫描, L"重新扫描", 392, 8, 80, 26, kButton, 0,
         kDialogFont},
        {&c.Label数量, L"Label数量", L"LABEL", kIdLabel数量, L"路径：0", 8, 96, 290, 18, kLabel, 0, kDialogFont},
        {&c.Label进度, L"Label进度", L"LABEL", kIdLabel进度, L"", 306, 96, 166, 18, kLabel, 0, kDialogFont},
        {&c.ListV路径, L"ListV路径", L"LISTVIEW", kIdListV路径, L"", 8, 116, 464, 240,
         WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE,
         kDialogFont, kColorDefault, kColorDefault, kAnchorStretchBoth},
        {&c.Command使用, L"Command使用", L"BUTTON", kIdCommand使用, L"使用", 8, 366, 80, 26, kButton, 0, kDialogFont,
         kColorDefault, kColorDefault, kAnchorBottom},
        {&c.Command保存路径, L"Command保存路径", L"BUTTON", kIdCommand保存路径, L"保存列表", 96, 366, 80, 26, kButton,
         0, kDialogFont, kColorDefault, kColorDefault, kAnchorBottom},
        {&c.Command读取路径, L"Command读取路径", L"BUTTON", kIdCommand读取路径, L"读取列表", 184, 366, 80, 26, kButton,
         0, kDialogFont, kColorDefault, kColorDefault, kAnchorBottom},
        {&c.Command保存指针图, L"Command保存指针图", L"BUTTON", kIdCommand保存指针图, L"保存指针图…", 306, 36, 80, 26,
         kButton, 0, kDialogFont},
        {&c.Command比较指针图, L"Command比较指针图", L"BUTTON", kIdCommand比较指针图, L"比较指针图…", 392, 36, 80, 26,
         kButton, 0, kDialogFont},
        {nullptr, L"Label末尾偏移", kWindowlessLabel, kIdLabel末尾偏移, L"末尾偏移", 306, 68, 54, 18, kLabel, 0,
         kDialogFont},
        {&c.Text末尾偏移, L"Text末尾偏移", L"EDIT", kIdText末尾偏移, L"", 362, 64, 110, 22, kEdit, WS_EX_CLIENTEDGE,
         kDialogFont},
        {&c.List指针图, L"List指针图", L"LISTBOX", kIdList指针图, L"", 272, 362, 200, 34,
         WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, WS_EX_CLIENTEDGE, kDialogFont, kColorDefault,
         kColorDefault, kAnchorRightBottom},
    };
    // Sized by its client area, so the lowest row keeps its margin whatever
    // the frame takes; a larger dialog gives the list the room.
    constexpr FormDesign design{L"指针扫描",
                                480,
                                404,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE,
                                L"ICON_FAVICON1",
                                true,
                                true};
    if (!open(owner, design, table)) return false;
    c.ListV路径.setExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    c.ListV路径.insertColumn(0, L"路径", scaled(440, scale().x));
    c.Text地址.setText(address_ == 0 ? L"" : hexText(address_));
    c.Combo模块.add(kAllModules);
    for (const ModuleImage& image : target_.moduleImages()) c.Combo模块.add(widen(image.name));
    c.Combo模块.select(0);
    {
        const std::lock_guard lock(mutex_);
        c.ListV路径.setVirtualCount(paths_.size());
    }
    showRunState();
    return true;
}

void PointerDialog::onDestroy() {
    jobs_.stopAndWait();
    // What the job posted after the window went is dropped with it.
    running_ = false;
    posted_ = false;
}

LRESULT PointerDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kPointerJobMessage) return frameworkMessage(message, wParam, lParam);
    onJobMessage();
    return 0;
}

void PointerDialog::pathsFound(std::vector<PointerPath> paths) {
    {
        const std::lock_guard lock(mutex_);
        paths_.insert(paths_.end(), std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    }
    post();
}

void PointerDialog::progressed(const PointerJobProgress& progress) {
    {
        const std::lock_guard lock(mutex_);
        progress_ = progress;
    }
    post();
}

void PointerDialog::ended(const PointerJobReport& report) {
    {
        const std::lock_guard lock(mutex_);
        ended_ = report;
        if (report.scan) report_ = report.scan;
    }
    post();
}

void PointerDialog::post() {
    if (!posted_.exchange(true)) PostMessageW(hwnd(), kPointerJobMessage, 0, 0);
}

void PointerDialog::onJobMessage() {
    posted_ = false;
    std::optional<PointerJobReport> ended;
    {
        const std::lock_guard lock(mutex_);
        ended.swap(ended_);
    }
    if (ended) running_ = false;
    showRunState();
    if (!ended) return;
    if (ended->openError != 0)
        messageBox(hwnd(), openFailedText(ended->openError).c_str(), MB_OK);
    else if (!ended->failure.empty())
        messageBox(hwnd(), (L"无法写入指针图：" + widen(ended->failure)).c_str(), MB_ICONINFORMATION);
}

void PointerDialog::onCommand(int id, int code, HWND control) {
    static const CommandRoute<PointerDialog> routes[] = {
        {kIdCommand扫描, BN_CLICKED, &PointerDialog::onScan},
        {kIdCommand重新扫描, BN_CLICKED, &PointerDialog::onRescan},
        {kIdCommand使用, BN_CLICKED, &PointerDialog::onUse},
        {kIdCommand保存路径, BN_CLICKED, &PointerDialog::onSavePaths},
        {kIdCommand读取路径, BN_CLICKED, &PointerDialog::onLoadPaths},
        {kIdCommand保存指针图, BN_CLICKED, &PointerDialog::onSaveMap},
        {kIdCommand比较指针图, BN_CLICKED, &PointerDialog::onCompareMaps},
    };
    if (!routeCommand<PointerDialog>(*this, routes, id, code)) Form::onCommand(id, code, control);
}

LRESULT PointerDialog::onNotify(NMHDR& header) {
    static const NotifyRoute<PointerDialog> routes[] = {
        {kIdListV路径, LVN_GETDISPINFOW, &PointerDialog::onGetDisplayInfo},
    };
    LRESULT result = 0;
    routeNotify<PointerDialog>(*this, routes, header, result);
    return result;
}

bool PointerDialog::onControlMessage(ControlRecord& record, HWND, UINT message, WPARAM, LPARAM, LRESULT&) {
    if (record.id == kIdListV路径 && message == WM_LBUTTONDBLCLK && !running_)
        // After the click has marked the row under it.
        PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(kIdCommand使用, BN_CLICKED), 0);
    return false;
}

LRESULT PointerDialog::onGetDisplayInfo(NMHDR& header) {
    auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.iItem < 0) return 0;
    {
        const std::lock_guard lock(mutex_);
        const auto row = static_cast<std::size_t>(info.item.iItem);
        cell_ = row < paths_.size() ? widen(pointerPathText(paths_[row])) : std::wstring();
    }
    info.item.pszText = cell_.data();
    return 0;
}

std::vector<PointerPath> PointerDialog::paths() const {
    const std::lock_guard lock(mutex_);
    return paths_;
}

bool PointerDialog::startJob(PointerJob job) {
    // A scan or a rescan replaces the list; a map leaves it as it is.
    const bool listing = job.kind != PointerJobKind::CaptureMap;
    {
        const std::lock_guard lock(mutex_);
        if (listing) {
            paths_.clear();
            report_.reset();
        }
        progress_ = {};
        ended_.reset();
    }
    if (listing) controls_.ListV路径.setVirtualCount(0);
    if (!jobs_.start(std::move(job), *this)) {
        messageBox(hwnd(), L"请等待当前的搜索结束！", MB_ICONINFORMATION);
        return false;
    }
    running_ = true;
    showRunState();
    return true;
}

void PointerDialog::onScan() {
    if (running_) {
        jobs_.stop();
        return;
    }
    const PointerDialogInputs inputs{narrow(controls_.Text地址.text()),
                                     narrow(controls_.Text深度.text()),
                                     narrow(controls_.Text最大偏移.text()),
                                     narrow(controls_.Text最小偏移.text()),
                                     controls_.Combo模块.selection() > 0
                                         ? narrow(controls_.Combo模块.itemText(controls_.Combo模块.selection()))
                                         : std::string(),
                                     narrow(controls_.Text末尾偏移.text())};
    const PointerScanRequest request = pointerScanRequest(inputs);
    if (request.refusal != nullptr) {
        messageBox(hwnd(), request.refusal, MB_ICONINFORMATION);
        return;
    }
    PointerJob job;
    job.settings = request.settings;
    for (const ChosenMap& chosen : maps_) job.savedRuns.push_back(chosen.map);
    startJob(std::move(job));
}

void PointerDialog::onRescan() {
    if (running_) return;
    std::uint64_t address = 0;
    if (!parseAddressHex(narrow(controls_.Text地址.text()), address)) {
        messageBox(hwnd(), L"地址应是十六进制数！", MB_ICONINFORMATION);
        return;
    }
    PointerJob job;
    job.kind = PointerJobKind::Rescan;
    job.settings.address = address;
    job.paths = paths();
    startJob(std::move(job));
}

void PointerDialog::showRunState() {
    const bool running = running_;
    std::size_t count = 0;
    std::optional<PointerScanReport> report;
    PointerJobProgress progress;
    {
        const std::lock_guard lock(mutex_);
        count = paths_.size();
        report = report_;
        progress = progress_;
    }
    controls_.ListV路径.setVirtualCount(count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (!running) controls_.ListV路径.invalidate();
    controls_.Label数量.setText(pathCountText(count, report ? &*report : nullptr));
    controls_.Label进度.setText(running ? progressText(progress) : L"");
    if (running != shownRunning_ || !running) {
        controls_.Command扫描.setText(running ? L"停止" : L"扫描");
        for (const Window* control :
             {&controls_.Command重新扫描, &controls_.Command使用, &controls_.Command保存路径,
              &controls_.Command读取路径, &controls_.Command保存指针图, &controls_.Command比较指针图})
            control->enable(!running);
        shownRunning_ = running;
    }
}

void PointerDialog::onUse() {
    if (running_) return;
    const int row = controls_.ListV路径.selectionMark();
    PointerPath path;
    {
        const std::lock_guard lock(mutex_);
        if (row < 0 || static_cast<std::size_t>(row) >= paths_.size()) return;
        path = paths_[static_cast<std::size_t>(row)];
    }
    if (use_) use_(structureTextOfPath(path));
    closeForm();
}

bool PointerDialog::savePaths(const std::wstring& file) {
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    writePointerPaths(out, paths(), systemTextCodec());
    out.flush();
    return static_cast<bool>(out);
}

std::optional<std::wstring> PointerDialog::loadPaths(const std::wstring& file) {
    if (running_) return std::wstring(L"请等待当前的搜索结束！");
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    if (!in) return std::wstring(L"无法读取文件！");
    PointerPathsRead read = readPointerPaths(in, systemTextCodec());
    if (read.badLine != 0) return L"第 " + std::to_wstring(read.badLine) + L" 行不是指针路径！";
    {
        const std::lock_guard lock(mutex_);
        paths_ = std::move(read.paths);
        report_.reset();
    }
    showRunState();
    return std::nullopt;
}

std::optional<std::wstring> PointerDialog::saveMap(const std::wstring& file) {
    if (running_) return std::wstring(L"请等待当前的搜索结束！");
    std::uint64_t address = 0;
    if (!parseAddressHex(narrow(controls_.Text地址.text()), address) || address == 0)
        return std::wstring(L"地址应是十六进制数！");
    PointerJob job;
    job.kind = PointerJobKind::CaptureMap;
    job.settings.address = address;
    job.keepMap = [file](const EncodedRunMap& map, const StopFlag& stop) {
        return savePointerMap(std::filesystem::path(file), map, stop);
    };
    if (!startJob(std::move(job))) return std::wstring();
    return std::nullopt;
}

std::optional<std::wstring> PointerDialog::addMaps(const std::vector<std::wstring>& files) {
    if (running_) return std::wstring(L"请等待当前的搜索结束！");
    for (const std::wstring& file : files) {
        auto map = std::make_shared<RunMap>();
        if (const std::string problem = loadPointerMap(std::filesystem::path(file), *map); !problem.empty())
            return file + L"：" + widen(problem);
        maps_.push_back({file, std::move(map)});
        const std::wstring item =
            std::filesystem::path(file).filename().wstring() + L" @" + hexText(maps_.back().map->address);
        controls_.List指针图.send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    return std::nullopt;
}

namespace {

// The files chosen in the system's dialog (one to save, one or more to
// open), or none.
std::vector<std::wstring> chooseFiles(HWND owner, bool saving, bool maps) {
    std::wstring buffer(32 * MAX_PATH, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = maps ? L"指针图 (*.map)\0*.map\0所有文件\0*.*\0" : L"文本文件 (*.txt)\0*.txt\0所有文件\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrDefExt = maps ? L"map" : L"txt";
    dialog.Flags = OFN_NOCHANGEDIR | OFN_EXPLORER |
                   (saving ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | (maps ? OFN_ALLOWMULTISELECT : 0));
    const BOOL chosen = saving ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return {};
    // One file: its path. Several: the folder, then each name, each ended by a
    // zero, the list by two.
    std::vector<std::wstring> parts;
    for (const wchar_t* at = buffer.c_str(); *at != L'\0'; at += parts.back().size() + 1) parts.emplace_back(at);
    if (parts.size() <= 1) return parts;
    std::vector<std::wstring> files;
    for (std::size_t i = 1; i < parts.size(); ++i)
        files.push_back((std::filesystem::path(parts[0]) / parts[i]).wstring());
    return files;
}

std::wstring chooseFile(HWND owner, bool saving) {
    const std::vector<std::wstring> files = chooseFiles(owner, saving, false);
    return files.empty() ? std::wstring() : files.front();
}

}  // namespace

void PointerDialog::onSaveMap() {
    const std::vector<std::wstring> files = chooseFiles(hwnd(), true, true);
    if (files.empty()) return;
    if (const std::optional<std::wstring> refusal = saveMap(files.front()); refusal && !refusal->empty())
        messageBox(hwnd(), refusal->c_str(), MB_ICONINFORMATION);
}

void PointerDialog::onCompareMaps() {
    const std::vector<std::wstring> files = chooseFiles(hwnd(), false, true);
    if (files.empty()) return;
    if (const std::optional<std::wstring> refusal = addMaps(files))
        messageBox(hwnd(), refusal->c_str(), MB_ICONINFORMATION);
}

void PointerDialog::onSavePaths() {
    const std::wstring file = chooseFile(hwnd(), true);
    if (!file.empty() && !savePaths(file)) messageBox(hwnd(), L"无法写入文件！", MB_ICONINFORMATION);
}

void PointerDialog::onLoadPaths() {
    const std::wstring file = chooseFile(hwnd(), false);
    if (file.empty()) return;
    if (const std::optional<std::wstring> refusal = loadPaths(file))
        messageBox(hwnd(), refusal->c_str(), MB_ICONINFORMATION);
}

}  // namespace corvane
