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
#include "settings/settings_paths.h"
#include "settings/settings_record.h"
#include "ui/main_window.h"
#include "ui/picture.h"
#include "tests/ui/window_test_support.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
namespace sample = corvane::sample;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test starts without the settings earlier searches saved.
        const std::u16string config = configFilePath();
        DeleteFileW(reinterpret_cast<const wchar_t*>(config.c_str()));
        form_ = std::make_unique<Form1>();
        window_ = form_->create();
        if (window_ == nullptr) GTEST_SKIP() << "no display for windows here";
        ShowWindow(window_, SW_SHOW);
        pump(200ms);
        c = &form_->controls();
    }
    void TearDown() override {
        if (window_ != nullptr && IsWindow(window_)) {
            form_->engine().stopRequested = -1;
            form_->engine().stopMonitor();
            DestroyWindow(window_);
        }
        form_.reset();
    }

    void startSample(bool large = false) {
        std::string why;
        sample_ = sample::SampleProcess::start(false, large, why);
        ASSERT_TRUE(sample_) << why;
        form_->chooseProcess(sample_->pid());
        // A process without saved settings starts from the first type, 字节.
        select(c->Combo类型, 2);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
    }
    void click(HWND button) {
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }
    void select(HWND combo, int index) {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void type(HWND box, const std::wstring& text) {
        SetWindowTextW(box, text.c_str());  // EN_CHANGE follows by itself
    }
    void leave(HWND box) {
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), EN_KILLFOCUS), reinterpret_cast<LPARAM>(box));
    }
    int itemCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring cell(HWND list, int row, int column) {
        wchar_t buffer[2048] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 2048;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    std::wstring status(int part) {
        wchar_t buffer[256] = {};
        SendMessageW(c->Status1, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    RECT clientRect(HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    bool searchIdle() {
        return windowText(c->Command首次搜索) == L"首次搜索" && form_->engine().busyCheck() &&
               !form_->engine().isWorkerRunning(Worker::Reformat);
    }
    // A first search over the root table's slots with the field at `offset`.
    void firstSearch(unsigned offset) {
        wchar_t structure[64];
        swprintf(structure, 64, L"110000000*8*8]%X]", offset);
        type(c->Text结构, structure);
        click(c->Command首次搜索);
        ASSERT_TRUE(pumpUntil([&] { return searchIdle(); }));
        pump(150ms);  // the wait indicator shows the list again
    }

    GdiplusSession gdiplus_;
    std::unique_ptr<Form1> form_;
    HWND window_ = nullptr;
    const Form1Controls* c = nullptr;
    std::unique_ptr<sample::SampleProcess> sample_;
};

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
    EXPECT_EQ(GetMenuItemCount(form_->popupMenu结果()), 3);
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
    const RECT structure = clientRect(c->Text结构);
    EXPECT_EQ(structure.left, 219);
    EXPECT_EQ(structure.top, 4);
    EXPECT_EQ(structure.right - structure.left, 473);
    const RECT list = clientRect(c->ListView1);
    const RECT picture = clientRect(c->Picture1);
    const RECT button = clientRect(c->Command首次搜索);
    EXPECT_EQ(button.left, 74);
    EXPECT_EQ(button.top, 102);

    SetWindowPos(window_, nullptr, 0, 0, 795, 485, SWP_NOMOVE | SWP_NOZORDER);
    pump(100ms);
    EXPECT_EQ(clientRect(c->Text结构).right - clientRect(c->Text结构).left, 573);
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

}  // namespace
}  // namespace corvane
