// The memory row through the window: a newcomer finds the value the sample's
// window shows by typing 内存], and a value not known yet is followed by the
// change conditions from a snapshot down to one row.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "engine/search/spill_file.h"
#include "framework/window_text.h"
#include "settings/profile.h"
#include "settings/settings_paths.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_hints.h"
#include "tools/sample_target/sample_layout.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class MemoryWindowTest : public MainWindowTest {
protected:
    std::wstring health() const { return sample::hexText(sample::kPlaces64.objects[0] + sample::kHealthOffset); }
    void pass(HWND button) {
        click(button);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
        pump(150ms);
    }
    bool listed(const std::wstring& address) {
        for (int row = 0; row < itemCount(c->ListView1); ++row)
            if (cell(c->ListView1, row, 2) == address) return true;
        return false;
    }
};

TEST_F(MemoryWindowTest, TheShownValueIsFoundInAllOfMemory) {
    startSample();
    // The sample's window (started with --window) shows the health it sets;
    // here the test sets it.
    ASSERT_TRUE(sample_->command("set32 " + narrow(health()) + " " + std::to_string(sample::kFullHealth)));
    type(c->Text结构, L"内存]");
    select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
    type(c->Text数值1, std::to_wstring(sample::kFullHealth));
    pass(c->Command首次搜索);
    EXPECT_TRUE(listed(health())) << itemCount(c->ListView1) << " rows";
    EXPECT_EQ(status(3), std::to_wstring(itemCount(c->ListView1)));
}

TEST_F(MemoryWindowTest, AValueNotKnownYetIsFollowedDownToOneRow) {
    startSample();
    type(c->Text结构, L"内存]");
    select(c->Combo过滤, static_cast<int>(SearchCondition::None));
    pass(c->Command首次搜索);
    // The snapshot lists nothing until narrowed; the status bar counts its addresses.
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_EQ(status(3), std::to_wstring(form_->engine().snapshotAddresses()));
    EXPECT_GT(form_->engine().snapshotAddresses(), 1000u);
    EXPECT_EQ(status(1), status(3));
    {
        MessageBoxCatcher catcher;
        click(c->Command监视结果);
        EXPECT_EQ(catcher.text(), kSnapshotMonitorRefusal);
    }
    EXPECT_EQ(windowText(c->Command监视结果), L"监视结果");

    const std::string address = narrow(health());
    struct Step {
        int value;
        SearchCondition condition;
    };
    const Step steps[] = {{90, SearchCondition::Changed},
                          {95, SearchCondition::Increased},
                          {70, SearchCondition::Decreased},
                          {65, SearchCondition::Decreased}};
    // The sample's command thread leaves the value it set on its stack, which
    // would follow the health; a second command with a fixed value after each
    // set overwrites it (and its own target then keeps that value).
    const std::string scratch =
        "set32 " + narrow(sample::hexText(sample::kPlaces64.objects[2] + sample::kHealthOffset)) + " 123456789";
    for (const Step& step : steps) {
        ASSERT_TRUE(sample_->command("set32 " + address + " " + std::to_string(step.value)));
        ASSERT_TRUE(sample_->command(scratch));
        select(c->Combo过滤, static_cast<int>(step.condition));
        pass(c->Command再次搜索);
        EXPECT_TRUE(listed(health())) << step.value;
    }
    ASSERT_EQ(itemCount(c->ListView1), 1);
    EXPECT_EQ(cell(c->ListView1, 0, 0), health());
    EXPECT_EQ(cell(c->ListView1, 0, 1), L"65");
}

TEST_F(MemoryWindowTest, TheMemoryWordStartsOnlyTheFirstRow) {
    startSample();
    type(c->Text结构, L"10]内存]");
    {
        MessageBoxCatcher catcher;
        click(c->Command首次搜索);
        EXPECT_EQ(catcher.text(), kLaterMemoryRefusal);
    }
    EXPECT_TRUE(searchIdle());
    type(c->Text结构, L"");
    leave(c->Text结构);
    type(c->Text偏移, L"memory");
    click(c->Command添加偏移);
    EXPECT_EQ(itemCount(c->ListView结构), 1);
    type(c->Text偏移, L"内存");
    {
        MessageBoxCatcher catcher;
        click(c->Command添加偏移);
        EXPECT_EQ(catcher.text(), kLaterMemoryRefusal);
    }
    EXPECT_EQ(itemCount(c->ListView结构), 1);
}

// The window's snapshot with a budget of 1 MiB, set by its settings key: it
// spills to its file, the session still comes down to one row, and the file
// goes with the snapshot: after 清空, after a new first search, at the end.
class SnapshotBudgetTest : public MemoryWindowTest {
protected:
    void SetUp() override {
        createSettingsFolder(settingsFolder());
        const std::u16string config = configFilePath();
        DeleteFileW(reinterpret_cast<const wchar_t*>(config.c_str()));
        profileWriteString(config, "Corvane", "SnapshotBudgetMiB", "1");
        // A file a killed run left, of a process that is gone.
        std::ofstream(stale) << "x";
        form_ = std::make_unique<Form1>();
        window_ = form_->create();
        if (window_ == nullptr) GTEST_SKIP() << "no display for windows here";
        ShowWindow(window_, SW_SHOW);
        pump(200ms);
        c = &form_->controls();
    }
    void TearDown() override {
        MemoryWindowTest::TearDown();
        DeleteFileW(reinterpret_cast<const wchar_t*>(configFilePath().c_str()));
    }
    void firstUnknown() {
        select(c->Combo过滤, static_cast<int>(SearchCondition::None));
        pass(c->Command首次搜索);
        ASSERT_NE(form_->engine().snapshot(), nullptr);
        EXPECT_LE(form_->engine().snapshot()->store->memoryBytes(), std::uint64_t{1} << 20);
        EXPECT_TRUE(std::filesystem::exists(spill)) << "past its budget, the snapshot spills";
    }

    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::filesystem::path spill = spillFilePath(temp, GetCurrentProcessId());
    const std::filesystem::path stale = spillFilePath(temp, 0xFFFFFFF0u);
};

TEST_F(SnapshotBudgetTest, TheSessionRunsPastTheBudgetAndLeavesNoFile) {
    EXPECT_FALSE(std::filesystem::exists(stale)) << "deleted at start: its process has gone";
    startSample();
    type(c->Text结构, L"内存]");
    firstUnknown();
    // 保留没有改变的数值* keeps more than the budget's memory holds as
    // results: they are marked in the snapshot, which keeps its file, and
    // the list stays empty while the status bar counts them.
    select(c->Combo过滤, static_cast<int>(SearchCondition::Unchanged));
    pass(c->Command再次搜索);
    ASSERT_NE(form_->engine().snapshot(), nullptr);
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_GT(form_->engine().snapshotAddresses(), 0u);
    EXPECT_TRUE(std::filesystem::exists(spill));
    EXPECT_FALSE(std::filesystem::exists(secondSpillPath(spill)));
    const std::string address = narrow(health());
    const std::string scratch =
        "set32 " + narrow(sample::hexText(sample::kPlaces64.objects[2] + sample::kHealthOffset)) + " 123456789";
    const std::pair<int, SearchCondition> steps[] = {{90, SearchCondition::Changed},
                                                     {95, SearchCondition::Increased},
                                                     {70, SearchCondition::Decreased},
                                                     {65, SearchCondition::Decreased}};
    for (const auto& [value, condition] : steps) {
        ASSERT_TRUE(sample_->command("set32 " + address + " " + std::to_string(value)));
        ASSERT_TRUE(sample_->command(scratch));
        select(c->Combo过滤, static_cast<int>(condition));
        pass(c->Command再次搜索);
        EXPECT_FALSE(std::filesystem::exists(spill)) << "narrowed, the snapshot is gone";
        EXPECT_FALSE(std::filesystem::exists(secondSpillPath(spill)));
    }
    ASSERT_EQ(itemCount(c->ListView1), 1);
    EXPECT_EQ(cell(c->ListView1, 0, 0), health());

    firstUnknown();
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(kIdMenuClearResults, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after 清空";
    firstUnknown();
    select(c->Combo过滤, static_cast<int>(SearchCondition::Equal));
    type(c->Text数值1, L"65");
    pass(c->Command首次搜索);
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after a new first search";
    firstUnknown();
    DestroyWindow(window_);
    form_.reset();
    EXPECT_FALSE(std::filesystem::exists(spill)) << "after the program ends";
}

}  // namespace
}  // namespace corvane
