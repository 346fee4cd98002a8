// 保存指针图 and 比较指针图 over three runs of the sample target, whose game
// heap lies elsewhere after every start: a map saved in each of two runs,
// both chosen in the third, and 扫描 keeps the lasting path to the gold (and
// at most a few more) of the thousands one run has, none of the paths a
// seed planted for one run; the path as a structure finds the gold.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/pointers/pointer_path.h"
#include "engine/text/hex_text.h"
#include "framework/window_text.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_heap.h"

namespace corvane {
namespace {

const std::string kModule = "sample_target.exe";
constexpr unsigned kPointerWidth = 8;

std::string hex(std::uint64_t value) {
    std::string text;
    appendHex(text, value);
    return text;
}

bool holds(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

class PointerMapsDialogTest : public MainWindowTest {
protected:
    void TearDown() override {
        if (form_ && form_->pointerDialog().isOpen()) DestroyWindow(form_->pointerDialog().hwnd());
        for (const std::filesystem::path& map : maps_) std::filesystem::remove(map);
        MainWindowTest::TearDown();
    }
    std::uint64_t gold() const { return sample_->value("gold"); }
    // As a user finds it: all of memory for the number, then the row at the
    // gold's address, from which the dialog opens.
    void findGold() {
        type(c->Text结构, L"内存]");
        leave(c->Text结构);
        select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
        type(c->Text数值1, std::to_wstring(sample::kGold));
        click(c->Command首次搜索);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
        pump(150ms);
        const std::wstring address = widen(hex(gold()));
        int row = 0;
        while (row < itemCount(c->ListView1) && cell(c->ListView1, row, 2) != address) ++row;
        ASSERT_LT(row, itemCount(c->ListView1)) << "the memory row should find the gold at " << narrow(address);
        c->ListView1.selectOnly(row);
    }
    // The dialog opened on the selected result, as 指针扫描… opens it.
    PointerDialog& openDialog() {
        EXPECT_TRUE(form_->preparePointerScan());
        PointerDialog& dialog = form_->pointerDialog();
        EXPECT_TRUE(dialog.create(window_));
        pump(50ms);
        return dialog;
    }
    bool waitForRun(PointerDialog& dialog) {
        return pumpUntil([&] { return !dialog.running() && form_->engine().busyCheck(); }, 60000ms);
    }
    std::vector<std::string> listed(const PointerDialog& dialog) {
        std::vector<std::string> texts;
        for (const PointerPath& path : dialog.paths()) texts.push_back(pointerPathText(path));
        return texts;
    }

    std::vector<std::filesystem::path> maps_;
};

TEST_F(PointerMapsDialogTest, MapsOfTwoRunsAndTheLiveThirdKeepTheLastingPath) {
    const std::uint32_t seeds[] = {1, 2, 3};
    std::vector<std::string> oneRunPaths;  // of every run
    std::vector<std::string> liveRunPaths;
    std::vector<std::uint64_t> golds;
    for (const std::uint32_t seed : seeds) {
        sample_.reset();  // a restart: the run before has ended
        startSample(false, seed);
        liveRunPaths = sample::oneRunGoldPaths(kModule, sample_->value("heapStatics"), sample_->value("entityTable"),
                                               kPointerWidth, seed);
        oneRunPaths.insert(oneRunPaths.end(), liveRunPaths.begin(), liveRunPaths.end());
        EXPECT_EQ(std::count(golds.begin(), golds.end(), gold()), 0) << "the heap should lie elsewhere in each run";
        golds.push_back(gold());
        findGold();
        if (golds.size() == std::size(seeds)) break;  // the last run stays live
        PointerDialog& dialog = openDialog();
        maps_.push_back(std::filesystem::temp_directory_path() /
                        ("corvane_maps_dialog_run" + std::to_string(golds.size()) + ".map"));
        std::filesystem::remove(maps_.back());
        ASSERT_FALSE(dialog.saveMap(maps_.back().wstring()).has_value());
        ASSERT_TRUE(waitForRun(dialog));
        ASSERT_TRUE(std::filesystem::exists(maps_.back())) << maps_.back().string();
        DestroyWindow(dialog.hwnd());
    }
    const std::string lasting = sample::lastingGoldPath(kModule, sample_->value("heapStatics"), kPointerWidth);

    // The live run alone: the lasting path among many, and its own planted ones.
    PointerDialog& dialog = openDialog();
    EXPECT_EQ(windowText(dialog.controls().Text地址), widen(hex(gold())));
    dialog.onScan();
    ASSERT_TRUE(waitForRun(dialog));
    pump(150ms);
    const std::vector<std::string> oneRun = listed(dialog);
    EXPECT_GT(oneRun.size(), 100u);
    EXPECT_TRUE(holds(oneRun, lasting)) << lasting;
    for (const std::string& path : liveRunPaths) EXPECT_TRUE(holds(oneRun, path)) << path;

    // With the maps of the two runs before: what lasts.
    ASSERT_FALSE(dialog.addMaps({maps_[0].wstring(), maps_[1].wstring()}).has_value());
    ASSERT_EQ(dialog.chosenMaps().size(), 2u);
    dialog.onScan();
    ASSERT_TRUE(waitForRun(dialog));
    pump(150ms);
    const std::vector<std::string> kept = listed(dialog);
    EXPECT_LE(kept.size(), 10u);
    EXPECT_TRUE(holds(kept, lasting)) << lasting;
    for (const std::string& path : oneRunPaths) EXPECT_FALSE(holds(kept, path)) << path;
    for (const std::string& path : kept) EXPECT_TRUE(holds(oneRun, path)) << path << " is no path of the live run";
    DestroyWindow(dialog.hwnd());

    // The lasting path as a structure, as 使用 puts it, finds the gold.
    type(c->Text结构, widen(lasting + "]"));
    leave(c->Text结构);
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    ASSERT_EQ(itemCount(c->ListView1), 1);
    EXPECT_EQ(cell(c->ListView1, 0, 0), widen(lasting));
    EXPECT_EQ(cell(c->ListView1, 0, 1), std::to_wstring(sample::kGold));
    EXPECT_EQ(cell(c->ListView1, 0, 2), widen(hex(gold())));
}

}  // namespace
}  // namespace corvane
