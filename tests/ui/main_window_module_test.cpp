// Structures anchored on the target's module, through the window: typed,
// added and edited, searched, saved in Config.ini, and searched again after
// the target has restarted.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/window_text.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_layout.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class ModuleWindowTest : public MainWindowTest {
protected:
    static std::wstring hex(std::uint64_t value) {
        wchar_t text[20];
        swprintf(text, 20, L"%llX", static_cast<unsigned long long>(value));
        return text;
    }
    std::wstring moduleStructure(const std::wstring& module) const {
        return module + L"+" + hex(sample_->value("moduleTable")) + L"*" + std::to_wstring(sample::kModuleSlots) +
               L"*8]0]";
    }
    // The rows the module table gives in the running sample target.
    void expectModuleRows() {
        ASSERT_EQ(itemCount(c->ListView1), static_cast<int>(sample::kModuleSlots));
        for (unsigned i = 0; i < sample::kModuleSlots; ++i) {
            const int row = static_cast<int>(i);
            EXPECT_EQ(cell(c->ListView1, row, 0),
                      L"sample_target.exe+" + hex(sample_->value("moduleTable") + 8 * i) + L"]0");
            EXPECT_EQ(cell(c->ListView1, row, 1), std::to_wstring(sample::moduleObjectId(i)));
            EXPECT_EQ(cell(c->ListView1, row, 2), hex(sample_->value("moduleObject0") + 0x1000 * i));
        }
    }
    void search() {
        click(c->Command首次搜索);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
        pump(150ms);
    }
};

TEST_F(ModuleWindowTest, AModuleStructureFindsItsValuesAgainAfterARestart) {
    startSample();
    type(c->Text结构, moduleStructure(L"SAMPLE_TARGET.exe"));
    search();
    // The path keeps the name as typed; the loader's spelling matched it.
    ASSERT_EQ(itemCount(c->ListView1), static_cast<int>(sample::kModuleSlots));
    EXPECT_EQ(cell(c->ListView1, 0, 0), L"SAMPLE_TARGET.exe+" + hex(sample_->value("moduleTable")) + L"]0");
    EXPECT_EQ(cell(c->ListView1, 0, 1), std::to_wstring(sample::moduleObjectId(0)));

    type(c->Text结构, moduleStructure(L"sample_target.exe"));
    search();
    expectModuleRows();

    // A new process of the program: choosing it brings back the structure
    // saved under its name, and the first search finds the values anew.
    sample_.reset();
    std::string why;
    sample_ = sample::SampleProcess::start(false, false, why);
    ASSERT_TRUE(sample_) << why;
    type(c->Text结构, L"");
    form_->chooseProcess(sample_->pid());
    EXPECT_EQ(windowText(c->Text结构), moduleStructure(L"sample_target.exe"));
    search();
    expectModuleRows();

    // Searched again in the same process, the paths resolve to the same rows.
    click(c->Command再次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    pump(150ms);
    expectModuleRows();
}

TEST_F(ModuleWindowTest, AModuleTheTargetHasNotLoadedIsTold) {
    startSample();
    type(c->Text结构, L"nosuch.dll+10*3*8]0]");
    MessageBoxCatcher catcher;
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return catcher.seen(); }));
    EXPECT_EQ(catcher.text(), L"目标进程中没有模块 nosuch.dll。");
    pumpUntil([&] { return searchIdle(); });
    EXPECT_EQ(itemCount(c->ListView1), 0);
}

TEST_F(ModuleWindowTest, OnlyTheFirstRowMayNameAModule) {
    startSample();
    type(c->Text结构, L"10]sample_target.exe+8]");
    {
        MessageBoxCatcher catcher;
        click(c->Command首次搜索);
        EXPECT_EQ(catcher.text(), kLaterModuleRefusal);
    }
    EXPECT_TRUE(searchIdle());
    EXPECT_TRUE(form_->engine().busyCheck());

    type(c->Text结构, L"");
    leave(c->Text结构);
    struct Case {
        const wchar_t* offset;
        const wchar_t* refusal;  // null: the row is added
    };
    const Case cases[] = {
        {L"a+b+xyz", kBadModuleRefusal},
        {L"game.exe+", kBadModuleRefusal},
        {L"game.exe+0010", L"不是有效的十六进制数据！"},
        {L"sample_target.exe+10", nullptr},
        {L"game.exe+8", kLaterModuleRefusal},
        {L"game.exe", kLaterModuleRefusal},
        {L"20", nullptr},
    };
    for (const Case& test : cases) {
        type(c->Text偏移, test.offset);
        const int before = itemCount(c->ListView结构);
        if (test.refusal == nullptr) {
            click(c->Command添加偏移);
            EXPECT_EQ(itemCount(c->ListView结构), before + 1) << test.offset;
            continue;
        }
        MessageBoxCatcher catcher;
        click(c->Command添加偏移);
        EXPECT_EQ(catcher.text(), test.refusal) << test.offset;
        EXPECT_EQ(itemCount(c->ListView结构), before) << test.offset;
    }
    EXPECT_EQ(windowText(c->Text结构), L"sample_target.exe+10]20]");

    // The in-place editor: a module in row 1 is refused even with Enter,
    // which takes other texts unchecked; row 0 takes one.
    doubleClick(c->ListView结构, 1, 0);
    ASSERT_TRUE(c->Text修改.isVisible());
    type(c->Text修改, L"game.exe+8");
    {
        MessageBoxCatcher catcher;
        pressEnter(c->Text修改);
        c->Text偏移.focus();
        EXPECT_EQ(catcher.text(), kLaterModuleRefusal);
    }
    pump(50ms);
    EXPECT_EQ(cell(c->ListView结构, 1, 0), L"20");
    c->Text偏移.focus();
    doubleClick(c->ListView结构, 0, 0);
    ASSERT_TRUE(c->Text修改.isVisible());
    type(c->Text修改, L"engine.dll+1A2B0");
    c->Text偏移.focus();
    EXPECT_FALSE(c->Text修改.isVisible());
    EXPECT_EQ(windowText(c->Text结构), L"engine.dll+1A2B0]20]");
}

}  // namespace
}  // namespace corvane
