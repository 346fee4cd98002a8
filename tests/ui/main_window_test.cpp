// Drives the real main window as a user would, through messages, against the
// sample target: needs a display (Xvfb under Wine).

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_process.h"
#include "framework/fonts.h"
#include "settings/settings_paths.h"
#include "settings/settings_record.h"
#include "ui/main_window.h"
#include "ui/picture.h"
#include "tests/ui/main_window_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
namespace sample = corvane::sample;

TEST_F(MainWindowTest, OnlyTheProcessChoiceWorksUntilATargetIsChosen) {
    EXPECT_EQ(windowText(window_), L"Corvane 2.0.4");
    EXPECT_TRUE(IsWindowEnabled(c->Command选择进程));
    for (HWND locked : std::initializer_list<HWND>{c->Combo类型, c->Combo进制, c->Combo过滤, c->Text结构, c->Text数值1,
                                                   c->Command首次搜索, c->Command再次搜索, c->Command监视结果,
                                                   c->Command添加偏移, c->Command读取设置, c->ListView结构})
        EXPECT_FALSE(IsWindowEnabled(locked)) << GetDlgCtrlID(locked);
    EXPECT_FALSE(form_->image1Inert());
    EXPECT_EQ(SendMessageW(c->Combo类型, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(c->Combo进制, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(c->Combo过滤, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(c->Combo类型, CB_GETCOUNT, 0, 0), 9);
    EXPECT_EQ(SendMessageW(c->Combo过滤, CB_GETCOUNT, 0, 0), 11);
    EXPECT_EQ(status(0), L"遍历总数：");
    EXPECT_EQ(status(2), L"有效数据：");
    EXPECT_EQ(status(4), L"搜索耗时：");
    const int widths[] = {200, 145, 95};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SendMessageW(c->ListView1, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0), widths[i]);
    EXPECT_NE(GetMenuItemCount(form_->popupMenu结果()), -1);
    EXPECT_EQ(GetMenuItemCount(form_->popupMenu结果()), 5);
    EXPECT_EQ(GetMenuItemCount(form_->popupMenu结构()), 3);
}

TEST_F(MainWindowTest, ChoosingAProcessUnlocksTheInputsButNotTheSecondPass) {
    std::string why;
    sample_ = sample::SampleProcess::start(false, false, why);
    ASSERT_TRUE(sample_) << why;
    form_->chooseProcess(sample_->pid());
    EXPECT_EQ(windowText(c->Command选择进程), L"sample_target.exe");
    for (HWND open :
         std::initializer_list<HWND>{c->Combo类型, c->Text结构, c->Text偏移, c->Command添加偏移, c->Command读取设置})
        EXPECT_TRUE(IsWindowEnabled(open)) << GetDlgCtrlID(open);
    EXPECT_FALSE(IsWindowEnabled(c->Command再次搜索));
    EXPECT_FALSE(IsWindowEnabled(c->Command监视结果));
    // No saved settings for it yet: the first type, base and condition.
    EXPECT_EQ(SendMessageW(c->Combo类型, CB_GETCURSEL, 0, 0), 0);

    // A first search saves the settings under the executable's name, and
    // choosing the process again brings them back.
    select(c->Combo类型, 3);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    type(c->Text结构, L"110000000]28]");
    select(c->Combo过滤, 5);
    type(c->Text数值1, L"1");
    type(c->Text数值2, L"2");
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    form_->chooseProcess(GetCurrentProcessId());
    type(c->Text结构, L"");
    form_->chooseProcess(sample_->pid());
    EXPECT_EQ(windowText(c->Text结构), L"110000000]28]");
    EXPECT_EQ(SendMessageW(c->Combo类型, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendMessageW(c->Combo过滤, CB_GETCURSEL, 0, 0), 5);
    EXPECT_EQ(windowText(c->Text数值2), L"2");
    EXPECT_TRUE(IsWindowVisible(c->Text数值2));
    EXPECT_EQ(form_->loadedStructureName(), "sample_target.exe");
}

TEST_F(MainWindowTest, ALineBreakInATypedTextNeverReachesTheSettingsFile) {
    startSample();
    // Pasted from a note: the box keeps one line, and the search sees it.
    type(c->Text结构, L"110000000*8*8]\r\n28]\n");
    EXPECT_EQ(windowText(c->Text结构), L"110000000*8*8]28]");
    type(c->Text数值1, L"1\r\n2");
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    EXPECT_EQ(cell(c->ListView结构, 1, 0), L"28");
    std::ifstream in(std::filesystem::path(configFilePath()), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Every line of the file is a section line or a key: no orphan below 结构.
    std::size_t start = 0;
    int lines = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        if (!line.empty()) {
            ++lines;
            EXPECT_TRUE(line.front() == '[' || line.find('=') != std::string::npos) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        }
        start = end + 2;
    }
    EXPECT_EQ(lines, 6) << bytes;  // the section, 结构, 类型, 进制, 条件 and 数值1
    const SettingsRecord record = readSettingsRecord(configFilePath(), "sample_target.exe");
    EXPECT_EQ(record.structureText, "110000000*8*8]28]");
    EXPECT_EQ(record.value1, "12");
}

TEST_F(MainWindowTest, GeometryAt96DpiAndAfterAResize) {
    if (form_->scale().dpiX != 96) GTEST_SKIP() << "the screen is not at 96 dpi";
    RECT outer{};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(outer.right - outer.left, 695);
    EXPECT_EQ(outer.bottom - outer.top, 485);
    // The window's own caption and frame leave the designed client area.
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 689);
    EXPECT_EQ(client.bottom, 458);
    const RECT structure = clientRect(c->Text结构);
    EXPECT_EQ(structure.left, 219);
    EXPECT_EQ(structure.top, 4);
    // Designed 3 past the right edge: it ends at the edge instead.
    EXPECT_EQ(structure.right, 689);
    const RECT list = clientRect(c->ListView1);
    EXPECT_EQ(list.right, 689);
    EXPECT_EQ(list.bottom, 458);
    const RECT picture = clientRect(c->Picture1);
    const RECT button = clientRect(c->Command首次搜索);
    EXPECT_EQ(button.left, 74);
    EXPECT_EQ(button.top, 102);

    SetWindowPos(window_, nullptr, 0, 0, 795, 485, SWP_NOMOVE | SWP_NOZORDER);
    pump(100ms);
    EXPECT_EQ(clientRect(c->Text结构).right - clientRect(c->Text结构).left, 570);
    EXPECT_EQ(clientRect(c->ListView1).right - clientRect(c->ListView1).left, list.right - list.left + 100);
    EXPECT_EQ(clientRect(c->ListView1).bottom - clientRect(c->ListView1).top, list.bottom - list.top);
    EXPECT_EQ(clientRect(c->Picture1).left, picture.left + 50);
    EXPECT_EQ(clientRect(c->Command首次搜索).left, button.left);

    // Never smaller than the first size.
    SetWindowPos(window_, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    pump(50ms);
    MINMAXINFO limits{};
    SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 695);
    EXPECT_EQ(limits.ptMinTrackSize.y, 485);
}

// Every shown control inside the client area, and the anchored ones at their
// margins from its right and bottom edges.
void expectLaidOut(HWND window, const Form1Controls& c, int dpi) {
    RECT client{};
    GetClientRect(window, &client);
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            if (!IsWindowVisible(child)) return TRUE;
            const HWND parent = GetParent(child);
            if (parent != reinterpret_cast<HWND>(data)) return TRUE;  // inside a control
            RECT box{};
            GetWindowRect(child, &box);
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
            RECT area{};
            GetClientRect(parent, &area);
            EXPECT_GE(box.left, 0) << GetDlgCtrlID(child);
            EXPECT_GE(box.top, 0) << GetDlgCtrlID(child);
            EXPECT_LE(box.right, area.right) << GetDlgCtrlID(child);
            EXPECT_LE(box.bottom, area.bottom) << GetDlgCtrlID(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(window));
    const RECT structure = c.Text结构.rectInParent();
    const RECT list = c.ListView1.rectInParent();
    EXPECT_EQ(structure.right, client.right) << dpi << " dpi";
    EXPECT_EQ(list.right, client.right) << dpi << " dpi";
    EXPECT_EQ(list.bottom, client.bottom) << dpi << " dpi";
    EXPECT_EQ(structure.left, scaled(219, dpi / 96.0)) << dpi << " dpi";
}

TEST(MainWindowLayout, TheClientAreaAndTheMarginsAtThreeDpiValues) {
    for (int dpi : {96, 120, 144}) {
        Form1 form;
        form.setScaleOverride(scaleForDpi(dpi, dpi));
        HWND window = form.create();
        if (window == nullptr) GTEST_SKIP() << "no display for windows here";
        pump(100ms);
        const double factor = dpi / 96.0;
        RECT client{};
        GetClientRect(window, &client);
        RECT frame{};
        GetWindowRect(window, &frame);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        // The own frame and caption take their scaled share; a screen too
        // small for the designed window shrinks the window, not the frame.
        EXPECT_EQ(client.right, width - 2 * scaled(3, factor)) << dpi << " dpi";
        EXPECT_EQ(client.bottom, height - scaled(24, factor) - scaled(3, factor)) << dpi << " dpi";
        if (width == scaled(695, factor)) {
            EXPECT_NEAR(client.right, 689 * factor, 1.0) << dpi << " dpi";
        }
        if (height == scaled(485, factor)) {
            EXPECT_NEAR(client.bottom, 458 * factor, 1.0) << dpi << " dpi";
        }
        expectLaidOut(window, form.controls(), dpi);
        RECT outer{};
        GetWindowRect(window, &outer);
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 60,
                     SWP_NOMOVE | SWP_NOZORDER);
        pump(50ms);
        expectLaidOut(window, form.controls(), dpi);
        DestroyWindow(window);
    }
}

TEST_F(MainWindowTest, AFirstSearchListsTheSampleTargetsValues) {
    startSample();
    EXPECT_TRUE(IsWindowEnabled(c->Text结构));
    firstSearch(sample::kIdOffset);
    ASSERT_EQ(itemCount(c->ListView1), 3);
    EXPECT_EQ(cell(c->ListView1, 0, 0), L"110000000]0");
    EXPECT_EQ(cell(c->ListView1, 0, 1), L"1000");
    EXPECT_EQ(cell(c->ListView1, 0, 2), L"110010000");
    EXPECT_EQ(cell(c->ListView1, 2, 0), L"110000030]0");
    EXPECT_EQ(cell(c->ListView1, 2, 1), L"1002");
    EXPECT_EQ(status(1), L"8");
    EXPECT_EQ(status(3), L"3");
    EXPECT_NE(status(5).find(L"ms"), std::wstring::npos);
    EXPECT_TRUE(IsWindowEnabled(c->Command再次搜索));
    EXPECT_TRUE(IsWindowEnabled(c->Command监视结果));
    EXPECT_TRUE(IsWindowVisible(c->ListView1));
    EXPECT_FALSE(IsWindowVisible(c->Picture1));
    ASSERT_EQ(itemCount(c->ListView结构), 2);
    EXPECT_EQ(cell(c->ListView结构, 0, 0), L"110000000");
    EXPECT_EQ(cell(c->ListView结构, 0, 1), L"8");
    EXPECT_EQ(cell(c->ListView结构, 1, 2), L"4");
}

TEST_F(MainWindowTest, NextSearchNarrowsAndTypeAndBaseChangesReformat) {
    startSample();
    firstSearch(sample::kNegativeOffset);
    ASSERT_EQ(itemCount(c->ListView1), 3);
    EXPECT_EQ(cell(c->ListView1, 1, 1), L"-5");
    select(c->Combo进制, 1);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle() && cell(c->ListView1, 1, 1) == L"FFFFFFFB"; }));
    select(c->Combo类型, 0);  // 字节: the base list is rebuilt and a 1-byte read follows
    ASSERT_TRUE(pumpUntil([&] { return searchIdle() && cell(c->ListView1, 1, 1) == L"251"; }));
    EXPECT_EQ(SendMessageW(c->Combo进制, CB_GETCURSEL, 0, 0), 0);
    select(c->Combo类型, 4);  // 单精度: the float base items
    pumpUntil([&] { return searchIdle(); });
    wchar_t item[32] = {};
    SendMessageW(c->Combo进制, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"忽略小数");
    select(c->Combo类型, 2);
    pumpUntil([&] { return searchIdle(); });

    // 等于 -5 keeps all three; then the target changes object 1's field.
    ASSERT_TRUE(sample_->command("set32 " + std::string("110020004") + " 7"));
    select(c->Combo过滤, 2);
    type(c->Text数值1, L"-5");
    click(c->Command再次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle() && itemCount(c->ListView1) == 2; }));
    EXPECT_EQ(cell(c->ListView1, 1, 0), L"110000030]4");
    EXPECT_EQ(status(3), L"2");
}

TEST_F(MainWindowTest, MonitoringShowsAChangedValue) {
    startSample();
    firstSearch(sample::kIdOffset);
    click(c->Command监视结果);
    EXPECT_EQ(windowText(c->Command监视结果), L"停止监视");
    EXPECT_FALSE(IsWindowEnabled(c->Command首次搜索));
    ASSERT_TRUE(sample_->command("set32 110010000 4242"));
    EXPECT_TRUE(pumpUntil([&] { return cell(c->ListView1, 0, 1) == L"4242"; }, 5000ms));
    click(c->Command监视结果);
    EXPECT_EQ(windowText(c->Command监视结果), L"监视结果");
    EXPECT_TRUE(IsWindowEnabled(c->Command首次搜索));
    EXPECT_TRUE(pumpUntil([&] { return form_->engine().busyCheck(); }));
}

TEST_F(MainWindowTest, StopDuringALongTraversalEndsWithNoResults) {
    startSample();
    // Two million single reads of mostly unmapped memory: far longer than the test.
    type(c->Text结构, L"110000000*2000000*2000]0]");
    click(c->Command首次搜索);
    EXPECT_EQ(windowText(c->Command首次搜索), L"停止搜索");
    pump(300ms);
    EXPECT_FALSE(IsWindowVisible(c->ListView1));  // the wait indicator stands in its place
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }, 10000ms));
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_EQ(status(3), L"0");
}

TEST_F(MainWindowTest, ChoosingASecondPassConditionSearchesWithoutAFilter) {
    startSample();
    select(c->Combo过滤, 8);
    EXPECT_FALSE(IsWindowEnabled(c->Text数值1));
    firstSearch(sample::kIdOffset);
    EXPECT_EQ(SendMessageW(c->Combo过滤, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(itemCount(c->ListView1), 3);
}

TEST_F(MainWindowTest, BetweenShowsTheSecondValue) {
    startSample();
    const RECT combo = clientRect(c->Combo过滤);
    select(c->Combo过滤, 5);
    EXPECT_TRUE(IsWindowVisible(c->Text数值2));
    EXPECT_EQ(clientRect(c->Text数值1).right - clientRect(c->Text数值1).left, 79);
    select(c->Combo过滤, 1);
    EXPECT_FALSE(IsWindowVisible(c->Text数值2));
    EXPECT_EQ(clientRect(c->Text数值1).right - clientRect(c->Text数值1).left, combo.right - combo.left);
}

TEST_F(MainWindowTest, AddingStructureRowsChecksTheOffset) {
    startSample();
    type(c->Text偏移, L"ff");
    click(c->Command添加偏移);
    ASSERT_EQ(itemCount(c->ListView结构), 1);
    EXPECT_EQ(cell(c->ListView结构, 0, 1), L"0");
    EXPECT_EQ(cell(c->ListView结构, 0, 2), L"4");
    EXPECT_EQ(windowText(c->Text结构), L"ff]");
    for (const wchar_t* bad : {L"0010", L"0x10", L" 10", L"1G"}) {
        type(c->Text偏移, bad);
        MessageBoxCatcher catcher;
        click(c->Command添加偏移);
        EXPECT_EQ(catcher.text(), L"不是有效的十六进制数据！") << bad;
    }
    type(c->Text偏移, L"20");
    type(c->Text递增, L"4]8");
    {
        MessageBoxCatcher catcher;
        click(c->Command添加偏移);
        EXPECT_EQ(catcher.text(), L"次数和递增中不能有“]”或“*”！");
    }
    EXPECT_EQ(itemCount(c->ListView结构), 1);
    type(c->Text递增, L"");
    type(c->Text偏移, L"");
    MessageBoxCatcher catcher;
    click(c->Command添加偏移);
    EXPECT_EQ(catcher.text(), L"请输入起始偏移！");
    EXPECT_EQ(itemCount(c->ListView结构), 1);
}

TEST_F(MainWindowTest, ATargetThatCannotBeOpenedIsReported) {
    form_->chooseProcess(0xFFFFFFF0);
    type(c->Text结构, L"110000000*8*8]0]");
    MessageBoxCatcher catcher;
    click(c->Command首次搜索);
    ASSERT_TRUE(pumpUntil([&] { return catcher.seen(); }));
    EXPECT_EQ(catcher.text().rfind(L"无法打开目标进程（错误代码 ", 0), 0u) << catcher.text().size();
    pumpUntil([&] { return searchIdle(); });
    EXPECT_EQ(itemCount(c->ListView1), 0);
}

TEST(CanonicalHex, ExactUppercaseWithoutLeadingZeros) {
    EXPECT_TRUE(Form1::isCanonicalHex("1a0"));
    EXPECT_TRUE(Form1::isCanonicalHex("FF"));
    EXPECT_TRUE(Form1::isCanonicalHex("0"));
    EXPECT_TRUE(Form1::isCanonicalHex("1FFFFFFFFFFFFF"));  // 2^53 - 1
    EXPECT_FALSE(Form1::isCanonicalHex("01A0"));
    EXPECT_FALSE(Form1::isCanonicalHex("0x1A0"));
    EXPECT_FALSE(Form1::isCanonicalHex(" 1A0"));
    EXPECT_FALSE(Form1::isCanonicalHex(""));
    EXPECT_FALSE(Form1::isCanonicalHex("20000000000001"));  // 2^53 + 1
}

TEST(MainWindowLayout, AMoveToScreensOfOtherDpiLaysTheWindowOutAgain) {
    Form1 form;
    form.setScaleOverride(scaleForDpi(96, 96));
    HWND window = form.create();
    if (window == nullptr) GTEST_SKIP() << "no display for windows here";
    ShowWindow(window, SW_SHOW);
    pump(100ms);
    const Form1Controls& c = form.controls();
    for (int dpi : {144, 120}) {
        const double factor = dpi / 96.0;
        // The rectangle the system suggests on the new screen.
        const RECT suggested{20, 10, 20 + scaled(kForm1Width, factor), 10 + scaled(kForm1Height, factor)};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        pump(50ms);
        EXPECT_EQ(form.scale().dpiX, dpi);
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, suggested.left) << dpi << " dpi";
        EXPECT_EQ(outer.top, suggested.top) << dpi << " dpi";
        EXPECT_EQ(outer.right, suggested.right) << dpi << " dpi";
        EXPECT_EQ(outer.bottom, suggested.bottom) << dpi << " dpi";
        // The own caption and frame at the new scale.
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, outer.right - outer.left - 2 * scaled(3, factor)) << dpi << " dpi";
        EXPECT_EQ(client.bottom, outer.bottom - outer.top - scaled(24, factor) - scaled(3, factor)) << dpi << " dpi";
        expectLaidOut(window, c, dpi);
        // A control without an anchor goes back to its designed place.
        const RECT button = c.Command首次搜索.rectInParent();
        EXPECT_EQ(button.left, scaled(74, factor)) << dpi << " dpi";
        EXPECT_EQ(button.top, scaled(102, factor)) << dpi << " dpi";
        EXPECT_EQ(button.right, scaled(74 + 72, factor)) << dpi << " dpi";
        // Its font is the same spec at the new dpi.
        const auto font = reinterpret_cast<HFONT>(SendMessageW(c.Command首次搜索, WM_GETFONT, 0, 0));
        EXPECT_EQ(font, fontFromSpec(L"Microsoft YaHei,9,0", dpi, dpi)) << dpi << " dpi";
        LOGFONTW logical{};
        GetObjectW(font, sizeof logical, &logical);
        EXPECT_EQ(logical.lfHeight, fontHeight(9, dpi, dpi)) << dpi << " dpi";
        // Text数值1 stays as wide as Combo过滤.
        const RECT filter = c.Combo过滤.rectInParent();
        const RECT value = c.Text数值1.rectInParent();
        EXPECT_EQ(value.right - value.left, filter.right - filter.left) << dpi << " dpi";
    }
    DestroyWindow(window);
}

}  // namespace
}  // namespace corvane
