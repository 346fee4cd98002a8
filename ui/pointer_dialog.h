#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/pointers/pointer_job.h"
#include "engine/pointers/run_map.h"
#include "engine/search/search_engine.h"
#include "engine/target/win32/target_process.h"
#include "framework/form.h"

namespace corvane {

enum PointerDialogId : int {
    kIdText地址 = 102,
    kIdText深度 = 103,
    kIdText最大偏移 = 104,
    kIdText最小偏移 = 105,
    kIdCombo模块 = 106,
    kIdCommand扫描 = 107,
    kIdCommand重新扫描 = 108,
    kIdLabel数量 = 109,
    kIdLabel进度 = 110,
    kIdListV路径 = 111,
    kIdCommand使用 = 112,
    kIdCommand保存路径 = 113,
    kIdCommand读取路径 = 114,
    kIdLabel地址 = 116,
    kIdLabel深度 = 117,
    kIdLabel最大偏移 = 118,
    kIdLabel最小偏移 = 119,
    kIdLabel模块 = 120,
    kIdCommand保存指针图 = 121,
    kIdCommand比较指针图 = 122,
    kIdList指针图 = 123,
    kIdLabel末尾偏移 = 124,
    kIdText末尾偏移 = 125,
};

// Posted by a running job when it has something to show.
inline constexpr UINT kPointerJobMessage = WM_APP + 1;

struct PointerDialogControls {
    Edit Text地址;
    Edit Text深度;
    Edit Text最大偏移;
    Edit Text最小偏移;
    ComboBox Combo模块;
    Window Command扫描;
    Window Command重新扫描;
    Window Label数量;
    Window Label进度;
    ListView ListV路径;
    Window Command使用;
    Window Command保存路径;
    Window Command读取路径;
    Window Command保存指针图;
    Window Command比较指针图;
    Window List指针图;
    Edit Text末尾偏移;
};

// A saved map chosen for 比较指针图, with its run's address.
struct ChosenMap {
    std::wstring file;
    std::shared_ptr<const RunMap> map;
};

// "指针扫描": from an address to the paths of pointers that lead to it from
// module statics, and their rescan after a restart. Each runs as a pointer
// job on the engine's pointer worker, so no search starts beside it; the
// dialog is the job's sink, and shows the paths as they come. 使用 or a
// double click puts the marked path into Text结构 as a structure.
class PointerDialog : public ModalDialog, private PointerJobSink {
public:
    // `use` receives the structure text of the chosen path.
    PointerDialog(SearchEngine& engine, TargetProcess& target, std::function<void(const std::string&)> use);
    ~PointerDialog() override;

    // Set before showModal: the address the box starts with.
    void setAddress(std::uint64_t address) { address_ = address; }

    // 扫描 starts a scan, or stops the one running (it then reads 停止).
    void onScan();
    void onRescan();
    void onUse();
    void onSavePaths();
    void onLoadPaths();
    void onSaveMap();
    void onCompareMaps();
    // What 保存指针图 and 比较指针图 do with the files chosen: the map of the
    // target with the address in the box, on the worker; the maps read and
    // listed. Nothing, or the message that says why not.
    std::optional<std::wstring> saveMap(const std::wstring& file);
    std::optional<std::wstring> addMaps(const std::vector<std::wstring>& files);
    const std::vector<ChosenMap>& chosenMaps() const { return maps_; }
    // What 保存/读取 do with the file chosen.
    bool savePaths(const std::wstring& file);
    // Nothing, or the message that says why the file was not taken.
    std::optional<std::wstring> loadPaths(const std::wstring& file);

    // From a job's start until the dialog has shown its end.
    bool running() const { return running_; }
    std::vector<PointerPath> paths() const;
    const PointerDialogControls& controls() const { return controls_; }

protected:
    bool build(HWND owner) override;
    HWND firstFocus() const override { return controls_.Command扫描; }
    void onCommand(int id, int code, HWND control) override;
    LRESULT onNotify(NMHDR& header) override;
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onDestroy() override;
    bool onControlMessage(ControlRecord& record, HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT& result) override;

private:
    // The job's sink: on the job's threads, each call keeps what it is told
    // and posts kPointerJobMessage, so the window thread shows it.
    void pathsFound(std::vector<PointerPath> paths) override;
    void progressed(const PointerJobProgress& progress) override;
    void ended(const PointerJobReport& report) override;
    void post();
    void onJobMessage();

    LRESULT onGetDisplayInfo(NMHDR& header);
    // Starts `job` with the list emptied and the buttons set for a run.
    bool startJob(PointerJob job);
    void showRunState();

    TargetProcess& target_;
    std::function<void(const std::string&)> use_;
    std::uint64_t address_ = 0;
    PointerDialogControls controls_;

    mutable std::mutex mutex_;
    // Guarded: written by the job's sink, read by the window thread.
    std::vector<PointerPath> paths_;
    std::optional<PointerScanReport> report_;
    PointerJobProgress progress_;
    std::optional<PointerJobReport> ended_;
    // A message is on its way; the sink posts no second one meanwhile.
    std::atomic<bool> posted_{false};

    bool running_ = false;
    bool shownRunning_ = false;
    std::wstring cell_;
    // 扫描 then lists only the paths valid in these runs and the live one.
    std::vector<ChosenMap> maps_;
    // Last: its destructor waits for a running job, whose sink is this dialog.
    PointerJobs jobs_;
};

}  // namespace corvane
