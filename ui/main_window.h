#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/search/search_engine.h"
#include "engine/target/win32/target_process.h"
#include "framework/caption_painter.h"
#include "framework/form.h"
#include "ui/process_list_dialog.h"
#include "settings/structure_text.h"
#include "settings/win32/settings_dialog.h"
#include "ui/dissect_dialog.h"
#include "ui/enter_release.h"
#include "ui/picture.h"
#include "ui/pointer_dialog.h"
#include "ui/window_sink.h"

namespace corvane {

// Refusals of a start offset written with a module.
inline constexpr const wchar_t* kBadModuleRefusal =
    L"起始偏移应写成“模块名+十六进制偏移”（如 game.exe+1A2B0），模块名中不能有“]”“*”或“+”！";
inline constexpr const wchar_t* kLaterModuleRefusal = L"只有第一行的起始偏移可以写成“模块名+偏移”，其他行只能是偏移！";
inline constexpr const wchar_t* kLaterMemoryRefusal = L"只有第一行的起始偏移可以写成“内存”，其他行只能是偏移！";
// Monitoring needs listed rows; values not known yet are listed once a next search narrows them.
inline constexpr const wchar_t* kSnapshotMonitorRefusal = L"请先用再次搜索缩小范围，再监视结果！";

// The main window's controls, by the names the program gives them.
struct Form1Controls {
    Edit Text修改内存;
    Window Picture1;
    Edit Text修改;
    Edit Text结构;
    Edit Text数值1;
    ComboBox Combo类型;
    Window Command选择进程;
    ListView ListView结构;
    StatusBar Status1;
    ListView ListView1;
    ComboBox Combo进制;
    ComboBox Combo过滤;
    Edit Text数值2;
    Window Command监视结果;
    Window Command首次搜索;
    Window Command再次搜索;
    Window Command读取设置;
    Edit Text次数;
    Edit Text偏移;
    Edit Text递增;
    Window Command添加偏移;
    Window Command保存设置;
};

// Control and menu ids of the main window.
enum Form1Id : int {
    kIdText修改内存 = 102,
    kIdPicture1 = 103,
    kIdMyDrawWin1 = 106,
    kIdText修改 = 107,
    kIdMenuCopy = 108,
    kIdMenuCopyRow = 109,
    kIdMenuCopyPath = 110,
    kIdMenuCopyValue = 111,
    kIdMenuCopyAddress = 112,
    kIdMenuDeleteResult = 113,
    kIdMenuClearResults = 114,
    kIdMenuSaveList = 116,
    kIdMenuDeleteRow = 117,
    kIdMenuClearRows = 118,
    kIdText结构 = 120,
    kIdTimer1 = 121,
    kIdLabel3 = 122,
    kIdText数值1 = 123,
    kIdCombo类型 = 124,
    kIdLabel1 = 125,
    kIdImage1 = 126,
    kIdCommand选择进程 = 127,
    kIdListView结构 = 128,
    kIdStatus1 = 129,
    kIdListView1 = 130,
    kIdCombo进制 = 131,
    kIdLabel2 = 132,
    kIdCombo过滤 = 133,
    kIdText数值2 = 134,
    kIdCommand监视结果 = 135,
    kIdCommand首次搜索 = 136,
    kIdCommand再次搜索 = 137,
    kIdCommand读取设置 = 138,
    kIdText次数 = 139,
    kIdText偏移 = 140,
    kIdText递增 = 141,
    kIdCommand添加偏移 = 142,
    kIdCommand保存设置 = 143,
    kIdMenuPointerScan = 144,
    kIdMenuDissect = 145,
};

inline constexpr int kForm1Width = 695;
inline constexpr int kForm1Height = 485;

// The main window: where the target is chosen, the structure written, and
// searches started, narrowed and watched.
class Form1 : public Form, public SettingsHost {
public:
    Form1();
    ~Form1() override;

    // Builds the window and every control; the load handler runs once the
    // message loop picks up the after-creation notice.
    HWND create();
    // create, then run modally until the window is destroyed.
    int run();

    const Form1Controls& controls() const { return controls_; }
    SearchEngine& engine() { return *engine_; }
    TargetProcess& target() { return target_; }
    bool image1Inert() const { return image1Inert_; }
    // The settings name last loaded, kept in the tag of Text结构.
    std::string loadedStructureName() const override;
    // The caption of Command选择进程: the target's executable name.
    std::string targetName() const override;
    HMENU popupMenu结果() const { return popupMenu结果_; }
    HMENU popupMenu结构() const { return popupMenu结构_; }

    // Makes `pid` the target, as the process list and the drag picker do;
    // choosing the current target changes nothing.
    void chooseProcess(DWORD pid);

    // Settings of a section of an INI file, to and from the controls.
    void writeSettingsSection(const std::u16string& file, const std::string& name) override;
    void readSettingsSection(const std::u16string& file, const std::string& name) override;

    // The structure list from the structure text, and back.
    void parseStructureText() override;
    void rebuildStructureText();

    // Whether the offset text is plain uppercase hexadecimal a double holds exactly.
    static bool isCanonicalHex(const std::string& text);
    // Why a typed start offset cannot stand in row `row` of the structure
    // list, or null: only row 0 may name a module ("game.exe+1A2B0"), and
    // its offset is then checked as any other when `checkHex` is set.
    static const wchar_t* startRefusal(const std::string& start, int row, bool checkHex);

    void disableInputs(HWND keep, bool imageUsable);
    void enableInputs(bool secondPass);

    // The dialogs, modal over this window.
    void showProcessList();
    void showSaveDialog();
    void showLoadDialog();
    ProcessListDialog& processList() { return *processList_; }
    SettingsDialog& saveDialog() { return *saveDialog_; }
    SettingsDialog& loadDialog() { return *loadDialog_; }
    // "指针扫描…" of the results menu: the dialog over the marked row's address.
    void showPointerScan();
    // The marked row's address into the dialog; false when no row is marked
    // or a search runs.
    bool preparePointerScan();
    PointerDialog& pointerDialog() { return *pointerDialog_; }
    // The chosen path's structure text into Text结构, and its rows.
    void usePointerPath(const std::string& structure);
    // "结构分析…" of the results menu: the view over the marked row's path.
    void showDissect();
    // The marked row's path into the view; false when no row is marked.
    bool prepareDissect();
    DissectDialog& dissectDialog() { return *dissectDialog_; }
    // The addresses of the selected results, for the view's comparison.
    std::vector<std::uint64_t> markedResultAddresses() const;
    // A structure the view made into Text结构, and its value type into Combo类型.
    void useDissectStructure(const MadeStructure& made);

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onCommand(int id, int code, HWND control) override;
    LRESULT onNotify(NMHDR& header) override;
    void onTimer(UINT_PTR id) override;
    void onLeftButtonDown(POINT point) override;
    void onPaint(HDC dc) override;
    void onResized() override;
    void onScaleChanged(const DpiScale& previous) override;
    void onLoad() override;
    void onDestroy() override;
    bool onAfterHandlers(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool onControlMessage(ControlRecord& record, HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT& result) override;

private:
    void createControls();
    void createMenus();
    void sizeComboItems();
    void sizeStatusPanels();
    // Text数值1 is as wide as Combo过滤 below it.
    void matchValueToFilterWidth();

    // Messages from the workers.
    void onCaptureSettings(SearchSettings& settings);
    void onFirstSearchEnded(const FirstSearchReport& report);
    void onReformatEnded();
    void onOpenFailed(DWORD error);
    LRESULT onGetDisplayInfo(NMHDR& header);
    LRESULT onStructureRowInserted(NMHDR& header);

    // Commands.
    void onFirstSearch();
    void onNextSearch();
    void onMonitor();
    void onTypeChanged();
    void onBaseChanged();
    void onConditionChanged();
    void onStructureTextChanged();
    void onAddStructureRow();
    void startReformat();
    void rebuildBaseItems();
    void pickerTick();

    // The lists' menus and commands.
    static bool isHeaderTrackStart(UINT message, LPARAM lParam);
    void updateMenus();
    void showPopupMenuAtCursor(HMENU menu);
    void showResultsMenu();
    void showStructureMenu();
    std::string resultRowText(int row) const;
    // -1 copies the whole row.
    void copyMarkedCell(int column);
    void copySelectedResults();
    void onCopyRow();
    void onCopyPath();
    void onCopyValue();
    void onCopyAddress();
    void onDeleteResult();
    void onClearResults();
    void onSaveList();
    void onDeleteStructureRow();
    void onClearStructureRows();

    // The in-place editors.
    LRESULT onStructureItemActivate(NMHDR& header);
    LRESULT onResultItemActivate(NMHDR& header);
    void openCellEditor(const ListView& list, const Edit& editor, const std::wstring& text);
    void onStructureEditLeft();
    void onValueEditLeft();

    std::vector<StructureRowText> structureRowTexts() const;
    void appendStructureRow(const std::array<std::wstring, 3>& cells);
    // The nine inputs a running worker locks: three lists, then six text boxes.
    std::array<HWND, 9> inputs() const;
    void setInputs(bool enabled);
    void startWaitIndicator(std::uint64_t traversalTotal);

    Form1Controls controls_;
    TargetProcess target_;
    std::unique_ptr<WindowSink> sink_;
    std::unique_ptr<SearchEngine> engine_;
    // The dialogs keep what outlives their windows (the sort state).
    std::unique_ptr<ProcessListDialog> processList_;
    std::unique_ptr<SettingsDialog> saveDialog_;
    std::unique_ptr<SettingsDialog> loadDialog_;
    std::unique_ptr<PointerDialog> pointerDialog_;
    std::unique_ptr<DissectDialog> dissectDialog_;
    HMENU popupMenu结果_ = nullptr;
    HMENU popupMenu结构_ = nullptr;
    bool image1Inert_ = false;
    bool timer1Enabled_ = true;
    UINT timer1Interval_ = 0;
    bool picking_ = false;
    Picture image1Rest_;
    Picture image1Dragging_;
    const Picture* image1Shown_ = nullptr;
    std::array<std::wstring, 3> cellText_;
    // The cell an editor is open over; one pair serves both editors.
    int editRow_ = -1;
    int editColumn_ = -1;
    EnterRelease structureEnter_;
    EnterRelease valueEnter_;
    CaptionPainter caption_;
    std::vector<StructureRow> lastRows_;
    // The last first search walked a memory row: its total is known only at its end.
    bool lastMemory_ = false;
    // Counts the wait indicators started; each knows its own number, so one
    // that wakes after a later one started leaves the status bar alone. Shared,
    // since an indicator may outlive the window.
    std::shared_ptr<std::atomic<std::uint64_t>> indicatorsStarted_ = std::make_shared<std::atomic<std::uint64_t>>(0);
    // Modules the workers found missing, for the window thread to tell.
    std::mutex missingMutex_;
    std::vector<std::string> missingModules_;
    void onModuleMissing();
};

}  // namespace corvane
