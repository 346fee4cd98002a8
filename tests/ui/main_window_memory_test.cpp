// The memory row through the window: a newcomer finds the value the sample's
// window shows by typing 内存], and a value not known yet is followed by the
// change conditions from a snapshot down to one row.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/window_text.h"
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

}  // namespace
}  // namespace corvane
