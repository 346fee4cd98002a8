// The pointer dialog over the real main window and the sample target: the
// value found with the memory row, the scan from its result's address finds the sample's module table path, the
// list is saved and read back, a restart moves the objects and the rescan
// keeps the paths that still lead to the value, and 使用 puts a path into
// Text结构 where 首次搜索 finds the value through it. Also the dialog's
// decisions on their own.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "framework/window_text.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_layout.h"
#include "ui/pointer_dialog_logic.h"

namespace corvane {
namespace {

std::string hex(std::uint64_t value) {
    std::string text;
    appendHex(text, value);
    return text;
}

std::vector<std::string> pathTexts(const std::vector<PointerPath>& paths) {
    std::vector<std::string> texts;
    for (const PointerPath& path : paths) texts.push_back(pointerPathText(path));
    return texts;
}

TEST(PointerDialogLogic, BoxesToAScanOrARefusal) {
    const struct {
        PointerDialogInputs inputs;
        bool refused;
        std::uint64_t address;
        unsigned depth;
        std::int64_t maxOffset;
        std::int64_t minOffset;
    } cases[] = {
        {{"1A2B0", "5", "1000", "0", "", ""}, false, 0x1A2B0, 5, 0x1000, 0},
        {{"0x7FF0", "10", "800", "-40", "game.exe", ""}, false, 0x7FF0, 10, 0x800, -0x40},
        {{"", "5", "1000", "0", "", ""}, true, 0, 0, 0, 0},
        {{"12G", "5", "1000", "0", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "0", "1000", "0", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "11", "1000", "0", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "5x", "1000", "0", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "5", "", "0", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "5", "10", "20", "", ""}, true, 0, 0, 0, 0},
        {{"1000", "5", "1000", "0", "", "18,2C"}, false, 0x1000, 5, 0x1000, 0},
        {{"1000", "5", "1000", "0", "", "2C,"}, true, 0, 0, 0, 0},
        {{"1000", "5", "1000", "0", "", "2G"}, true, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const PointerScanRequest request = pointerScanRequest(c.inputs);
        EXPECT_EQ(request.refusal != nullptr, c.refused) << c.inputs.address << " " << c.inputs.depth;
        if (c.refused) continue;
        EXPECT_EQ(request.settings.address, c.address);
        EXPECT_EQ(request.settings.depth, c.depth);
        EXPECT_EQ(request.settings.maxOffset, c.maxOffset);
        EXPECT_EQ(request.settings.minOffset, c.minOffset);
        EXPECT_EQ(request.settings.modules.size(), c.inputs.module.empty() ? 0u : 1u);
        const std::vector<std::int64_t> lasts =
            c.inputs.lastOffsets.empty() ? std::vector<std::int64_t>() : std::vector<std::int64_t>{0x18, 0x2C};
        EXPECT_EQ(request.settings.lastOffsets, lasts);
    }
    EXPECT_EQ(structureTextOfPath({"game.exe", 0x1A2B0, {0x18}}), "game.exe+1A2B0]18]");
    PointerScanReport report;
    EXPECT_EQ(pathCountText(3, nullptr), L"路径：3");
    report.total = 3;
    EXPECT_EQ(pathCountText(3, &report), L"路径：3");
    report.total = 9;
    report.totalIsLowerBound = true;
    EXPECT_EQ(pathCountText(3, &report), L"路径：3（至少 9）");
    report.stopped = true;
    EXPECT_EQ(pathCountText(3, &report), L"路径：3（已停止）");
}

class PointerDialogTest : public MainWindowTest {
protected:
    void TearDown() override {
        if (form_ && form_->pointerDialog().isOpen()) DestroyWindow(form_->pointerDialog().hwnd());
        MainWindowTest::TearDown();
    }
    // The first value of the data array of the object at the module table's slot 0.
    std::uint64_t valueAddress() const { return sample_->value("moduleObject0") + 0x800; }
    // As a newcomer does: all of memory for the value the sample holds, then
    // the row at the object's field (a small number is found elsewhere too).
    void findValue() {
        type(c->Text结构, L"内存]");
        leave(c->Text结构);
        select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
        type(c->Text数值1, std::to_wstring(sample::dataValue(sample::kModuleObjectFirst, 0)));
        click(c->Command首次搜索);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
        pump(150ms);
        const std::wstring address = widen(hex(valueAddress()));
        int row = 0;
        while (row < itemCount(c->ListView1) && cell(c->ListView1, row, 2) != address) ++row;
        ASSERT_LT(row, itemCount(c->ListView1)) << "the memory row should find the value at " << narrow(address);
        c->ListView1.selectOnly(row);
    }
    // The dialog opened on the marked result, as 指针扫描… opens it.
    void openDialog() {
        ASSERT_TRUE(form_->preparePointerScan());
        ASSERT_TRUE(form_->pointerDialog().create(window_));
        pump(50ms);
    }
    bool waitForRun(PointerDialog& dialog) {
        return pumpUntil([&] { return !dialog.running() && form_->engine().busyCheck(); }, 60000ms);
    }
};

TEST_F(PointerDialogTest, ScanSaveRestartRescanAndSearchThroughTheChosenPath) {
    startSample();
    findValue();
    ASSERT_NO_FATAL_FAILURE(openDialog());
    PointerDialog& dialog = form_->pointerDialog();
    const PointerDialogControls& d = dialog.controls();
    EXPECT_EQ(windowText(dialog.hwnd()), L"指针扫描");
    EXPECT_EQ(windowText(d.Text地址), widen(hex(valueAddress())));
    EXPECT_EQ(d.Combo模块.itemText(0), L"全部模块");
    SetWindowTextW(d.Text深度, L"2");
    const int sampleModule = d.Combo模块.findExact(L"sample_target.exe");
    ASSERT_GT(sampleModule, 0);
    d.Combo模块.select(sampleModule);

    SendMessageW(d.Command扫描, BM_CLICK, 0, 0);
    EXPECT_EQ(windowText(d.Command扫描), L"停止");
    EXPECT_FALSE(form_->engine().busyCheck()) << "no search may start beside the scan";
    ASSERT_TRUE(waitForRun(dialog));
    pump(150ms);
    EXPECT_EQ(windowText(d.Command扫描), L"扫描");
    const std::vector<std::string> found = pathTexts(dialog.paths());
    const std::string table = "sample_target.exe+" + hex(sample_->value("moduleTable"));
    // Slot 0 to the object, and on through its data pointer at +8.
    for (const std::string& path : {table + "]800", table + "]8]0"})
        EXPECT_NE(std::find(found.begin(), found.end(), path), found.end()) << path;
    EXPECT_EQ(d.ListV路径.itemCount(), static_cast<int>(found.size()));
    EXPECT_EQ(windowText(d.Label数量), L"路径：" + std::to_wstring(found.size()));
    EXPECT_EQ(d.ListV路径.itemText(0, 0), widen(found[0]));

    // Saved and read back, with a path that leads elsewhere after it: slot 1
    // points at the next object.
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane_pointer_dialog.txt";
    std::filesystem::remove(file);
    {
        // Through the buttons and the system's file dialog, as a user saves.
        const FileDialogAnswerer answerer(file.wstring());
        SendMessageW(d.Command保存路径, BM_CLICK, 0, 0);
        ASSERT_TRUE(answerer.answered()) << "no file dialog to save the paths in";
    }
    ASSERT_TRUE(std::filesystem::exists(file)) << file.string();
    std::ofstream(file, std::ios::binary | std::ios::app)
        << table.substr(0, table.find('+') + 1) << hex(sample_->value("moduleTable") + 8) << "]800\n";
    {
        const FileDialogAnswerer answerer(file.wstring());
        SendMessageW(d.Command读取路径, BM_CLICK, 0, 0);
        ASSERT_TRUE(answerer.answered()) << "no file dialog to read the paths from";
    }
    std::filesystem::remove(file);
    const std::vector<std::string> loaded = pathTexts(dialog.paths());
    ASSERT_EQ(loaded.size(), found.size() + 1);
    EXPECT_TRUE(std::equal(found.begin(), found.end(), loaded.begin()));
    pump(150ms);

    // A double click on a path uses it, as 使用 does.
    const auto direct = std::find(loaded.begin(), loaded.end(), table + "]800") - loaded.begin();
    d.ListV路径.ensureVisible(static_cast<int>(direct));
    doubleClick(d.ListV路径, static_cast<int>(direct), 0);
    ASSERT_TRUE(pumpUntil([&] { return !dialog.isOpen(); }, 5000ms));
    EXPECT_EQ(windowText(c->Text结构), widen(table + "]800]"));

    // Restarted: the objects are elsewhere; the value is found again there.
    // The objects' place follows the process id; a start that happens to
    // put them where they were is tried again.
    const std::uint64_t before = valueAddress();
    for (int start = 0; start < 8 && (start == 0 || valueAddress() == before); ++start) {
        sample_.reset();
        startSample();
    }
    ASSERT_NE(valueAddress(), before) << "the objects should move with the process";
    findValue();
    ASSERT_NO_FATAL_FAILURE(openDialog());
    EXPECT_EQ(windowText(d.Text地址), widen(hex(valueAddress())));
    SendMessageW(d.Command重新扫描, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForRun(dialog));
    pump(150ms);
    const std::vector<std::string> kept = pathTexts(dialog.paths());
    for (const std::string& path : {table + "]800", table + "]8]0"})
        EXPECT_NE(std::find(kept.begin(), kept.end(), path), kept.end()) << path;
    EXPECT_LT(kept.size(), found.size() + 1) << "the path through slot 1 should be dropped";
    for (const std::string& path : kept) EXPECT_NE(std::find(found.begin(), found.end(), path), found.end()) << path;

    // 使用 on the two-level path: into Text结构, the dialog closes, and
    // 首次搜索 finds the value through it.
    const auto row = std::find(kept.begin(), kept.end(), table + "]8]0") - kept.begin();
    d.ListV路径.selectOnly(static_cast<int>(row));
    SendMessageW(d.Command使用, BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !dialog.isOpen(); }, 5000ms));
    EXPECT_EQ(windowText(c->Text结构), widen(table + "]8]0]"));
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 1);
    EXPECT_EQ(cell(c->ListView1, 0, 1), std::to_wstring(sample::dataValue(sample::kModuleObjectFirst, 0)));
    EXPECT_EQ(cell(c->ListView1, 0, 2), widen(hex(valueAddress())));
}

// A map saved through 保存指针图… and the system's dialog, the sample
// restarted, the map chosen through 比较指针图…: it is listed with its
// address, and 扫描 then lists only paths valid in both runs, the module
// table's among them. A damaged map is refused naming the file.
// A real press and release of the left button at a point of the screen, as
// the mouse gives them (twice for a double click).
void realClick(POINT at, int clicks) {
    SetCursorPos(at.x, at.y);
    pump(50ms);
    for (int i = 0; i < clicks; ++i) {
        INPUT press[2]{};
        press[0].type = press[1].type = INPUT_MOUSE;
        press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, press, sizeof(INPUT));
        pump(30ms);
    }
}

POINT centreOf(const RECT& box) { return {(box.left + box.right) / 2, (box.top + box.bottom) / 2}; }

TEST_F(PointerDialogTest, ARealClickThatClosesTheDialogNeverReachesTheButtonBeneath) {
    startSample();
    findValue();
    PointerDialog& dialog = form_->pointerDialog();
    const PointerDialogControls& d = dialog.controls();
    const auto structureRows = [&] {
        std::vector<std::wstring> rows;
        for (int row = 0; row < itemCount(c->ListView结构); ++row) rows.push_back(cell(c->ListView结构, row, 0));
        return rows;
    };
    // The click lands where 添加偏移 would lie under it: the main window is
    // moved so, the dialog staying above it.
    const auto openOver = [&](const std::function<POINT()>& target) {
        ASSERT_NO_FATAL_FAILURE(openDialog());
        ShowWindow(dialog.hwnd(), SW_SHOW);
        const POINT at = target();
        RECT main{};
        GetWindowRect(window_, &main);
        RECT add{};
        GetWindowRect(c->Command添加偏移, &add);
        const POINT addCentre = centreOf(add);
        SetWindowPos(window_, nullptr, main.left + at.x - addCentre.x, main.top + at.y - addCentre.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetForegroundWindow(dialog.hwnd());
        pump(100ms);
        GetWindowRect(c->Command添加偏移, &add);
        ASSERT_TRUE(PtInRect(&add, at)) << "添加偏移 should lie under the click";
    };
    const auto expectUsedAlone = [&](const std::string& what) {
        ASSERT_TRUE(pumpUntil([&] { return !dialog.isOpen(); }, 5000ms)) << what << " did not close the dialog";
        pump(300ms);
        const std::vector<std::wstring> after = structureRows();
        // What the path alone makes of the list.
        form_->usePointerPath(narrow(windowText(c->Text结构)));
        EXPECT_EQ(after, structureRows()) << what << " also reached the main window";
    };

    ASSERT_NO_FATAL_FAILURE(openDialog());
    SetWindowTextW(d.Text深度, L"2");
    d.Combo模块.select(d.Combo模块.findExact(L"sample_target.exe"));
    SendMessageW(d.Command扫描, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForRun(dialog));
    ASSERT_FALSE(dialog.paths().empty());
    DestroyWindow(dialog.hwnd());

    const auto useButton = [&] {
        RECT use{};
        GetWindowRect(d.Command使用, &use);
        return centreOf(use);
    };
    openOver(useButton);
    d.ListV路径.selectOnly(0);
    realClick(useButton(), 1);
    expectUsedAlone("a click on 使用");

    const auto firstPath = [&] {
        const RECT cell = d.ListV路径.subItemRect(0, 0);
        POINT at{cell.left + 20, (cell.top + cell.bottom) / 2};
        ClientToScreen(d.ListV路径, &at);
        return at;
    };
    openOver(firstPath);
    realClick(firstPath(), 2);
    expectUsedAlone("a double click on a path");
}

TEST_F(PointerDialogTest, SaveAMapRestartAndScanAgainstIt) {
    startSample();
    findValue();
    ASSERT_NO_FATAL_FAILURE(openDialog());
    PointerDialog& dialog = form_->pointerDialog();
    const PointerDialogControls& d = dialog.controls();
    EXPECT_EQ(windowText(d.Command保存指针图), L"保存指针图…");
    EXPECT_EQ(windowText(d.Command比较指针图), L"比较指针图…");
    RECT client{};
    GetClientRect(dialog.hwnd(), &client);
    for (HWND control : {d.Command保存指针图.hwnd(), d.Command比较指针图.hwnd(), d.List指针图.hwnd(),
                         d.Text末尾偏移.hwnd(), d.ListV路径.hwnd(), d.Command读取路径.hwnd()}) {
        RECT box{};
        GetWindowRect(control, &box);
        MapWindowPoints(nullptr, dialog.hwnd(), reinterpret_cast<POINT*>(&box), 2);
        EXPECT_TRUE(box.left >= client.left && box.top >= client.top && box.right <= client.right &&
                    box.bottom <= client.bottom)
            << narrow(windowText(control)) << " lies outside the client area";
    }
    const std::filesystem::path map = std::filesystem::temp_directory_path() / "corvane_dialog_run1.map";
    std::filesystem::remove(map);
    {
        const FileDialogAnswerer answerer(map.wstring());
        SendMessageW(d.Command保存指针图, BM_CLICK, 0, 0);
        ASSERT_TRUE(answerer.answered()) << "no file dialog to save the map in";
    }
    ASSERT_TRUE(waitForRun(dialog));
    ASSERT_TRUE(std::filesystem::exists(map));
    DestroyWindow(dialog.hwnd());

    const std::uint64_t before = valueAddress();
    for (int start = 0; start < 8 && (start == 0 || valueAddress() == before); ++start) {
        sample_.reset();
        startSample();
    }
    findValue();
    ASSERT_NO_FATAL_FAILURE(openDialog());
    {
        const FileDialogAnswerer answerer(map.wstring());
        SendMessageW(d.Command比较指针图, BM_CLICK, 0, 0);
        ASSERT_TRUE(answerer.answered()) << "no file dialog to choose maps in";
    }
    ASSERT_EQ(dialog.chosenMaps().size(), 1u);
    ASSERT_EQ(d.List指针图.send(LB_GETCOUNT), 1);
    wchar_t item[MAX_PATH] = L"";
    d.List指针图.send(LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::wstring(item), L"corvane_dialog_run1.map @" + widen(hex(before)));

    SetWindowTextW(d.Text深度, L"2");
    d.Combo模块.select(d.Combo模块.findExact(L"sample_target.exe"));
    SendMessageW(d.Command扫描, BM_CLICK, 0, 0);
    ASSERT_TRUE(waitForRun(dialog));
    pump(150ms);
    const std::vector<std::string> both = pathTexts(dialog.paths());
    const std::string table = "sample_target.exe+" + hex(sample_->value("moduleTable"));
    for (const std::string& path : {table + "]800", table + "]8]0"})
        EXPECT_NE(std::find(both.begin(), both.end(), path), both.end()) << path;

    // Closed and opened again: the chosen maps stay with the dialog.
    DestroyWindow(dialog.hwnd());
    ASSERT_NO_FATAL_FAILURE(openDialog());
    EXPECT_EQ(dialog.chosenMaps().size(), 1u);

    // A damaged map is refused, naming the file.
    std::string bytes;
    {
        std::ifstream in(map, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::filesystem::path cut = std::filesystem::temp_directory_path() / "corvane_dialog_cut.map";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    const std::optional<std::wstring> refusal = dialog.addMaps({cut.wstring()});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find(cut.wstring()), std::wstring::npos) << narrow(*refusal);
    EXPECT_EQ(dialog.chosenMaps().size(), 1u);
    std::filesystem::remove(map);
    std::filesystem::remove(cut);

    // A map that cannot be written is said so, and the list stays.
    const std::size_t listed = dialog.paths().size();
    const std::filesystem::path nowhere = std::filesystem::temp_directory_path() / "corvane_no_folder" / "run.map";
    std::filesystem::remove_all(nowhere.parent_path());
    const MessageBoxCatcher catcher;
    ASSERT_FALSE(dialog.saveMap(nowhere.wstring()).has_value());
    ASSERT_TRUE(waitForRun(dialog));
    ASSERT_TRUE(pumpUntil([&] { return catcher.seen(); }, 10000ms)) << "no message for the map not written";
    EXPECT_NE(catcher.text().find(L"无法写入指针图"), std::wstring::npos) << narrow(catcher.text());
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(dialog.paths().size(), listed);
}

}  // namespace
}  // namespace corvane
