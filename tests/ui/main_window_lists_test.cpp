// The lists of the real main window: popup menus, copying, removing, the
// in-place editors, and the window's own caption. Needs a display.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "framework/window_text.h"
#include "tests/ui/main_window_fixture.h"
#include "tools/sample_target/sample_layout.h"
#include "ui/clipboard.h"
#include "ui/value_check.h"

namespace corvane {
namespace {

std::string clipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "(cannot open)";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    } else {
        text = "(no text)";
    }
    CloseClipboard();
    return text;
}

std::wstring clipboardWideText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"(cannot open)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = units;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

class ListsTest : public MainWindowTest {
protected:
    void command(int id) { SendMessageW(window_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    void mark(const ListView& list, int row) { list.selectOnly(row); }
    // Opens a list's popup menu as a right click does, reads the state of
    // its items while it shows, and closes it with Escape.
    std::vector<UINT> menuStatesWhileShown(const ListView& list, HMENU menu) {
        std::vector<UINT> states;
        std::thread reader([&] {
            for (int i = 0; i < 500; ++i) {
                if (FindWindowW(L"#32768", nullptr) != nullptr) break;
                std::this_thread::sleep_for(5ms);
            }
            for (int item = 0; item < GetMenuItemCount(menu); ++item)
                states.push_back(GetMenuState(menu, static_cast<UINT>(item), MF_BYPOSITION));
            PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list.hwnd()), MAKELPARAM(-1, -1));
        reader.join();
        pump(20ms);
        return states;
    }
    void holdControl(bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
};

TEST_F(ListsTest, CopyingAWholeRowAndEachCellPutsExactlyThoseTextsOnTheClipboard) {
    startSample();
    firstSearch(sample::kIdOffset);
    ASSERT_EQ(itemCount(c->ListView1), 3);
    mark(c->ListView1, 2);
    command(kIdMenuCopyRow);
    EXPECT_EQ(clipboardText(), "110000030]0 1002 380000000");
    const std::pair<int, const char*> cells[] = {
        {kIdMenuCopyPath, "110000030]0"}, {kIdMenuCopyValue, "1002"}, {kIdMenuCopyAddress, "380000000"}};
    for (const auto& [id, text] : cells) {
        command(id);
        EXPECT_EQ(clipboardText(), text) << id;
    }
    // An empty text leaves the clipboard as it was.
    copyTextToClipboard("");
    EXPECT_EQ(clipboardText(), "380000000");
}

TEST_F(ListsTest, CtrlAAndCtrlCCopyEverySelectedRowInBothForms) {
    startSample();
    firstSearch(sample::kIdOffset);
    c->ListView1.focus();
    holdControl(true);
    SendMessageW(c->ListView1, WM_KEYDOWN, 'A', 0);
    SendMessageW(c->ListView1, WM_KEYDOWN, 'C', 0);
    holdControl(false);
    const std::string expected =
        "110000000]0 1000 110010000\r\n110000020]0 1001 110020000\r\n110000030]0 1002 380000000";
    EXPECT_EQ(clipboardText(), expected);
    EXPECT_EQ(clipboardWideText(), widen(expected));
}

TEST_F(ListsTest, DeletingTheLastResultGreysTheMenuAndClearingEmptiesTheStore) {
    startSample();
    firstSearch(sample::kIdOffset);
    std::vector<UINT> states = menuStatesWhileShown(c->ListView1, form_->popupMenu结果());
    ASSERT_EQ(states.size(), 5u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(states[i] & MF_GRAYED, 0u) << i;
    // 指针扫描… and 结构分析… act on the row at the selection mark.
    for (std::size_t i = 3; i < 5; ++i)
        EXPECT_EQ((states[i] & MF_GRAYED) != 0, c->ListView1.selectionMark() == -1) << i;
    mark(c->ListView1, 1);
    states = menuStatesWhileShown(c->ListView1, form_->popupMenu结果());
    ASSERT_EQ(states.size(), 5u);
    EXPECT_EQ(states[3] & MF_GRAYED, 0u);
    EXPECT_EQ(states[4] & MF_GRAYED, 0u);
    command(kIdMenuDeleteResult);
    EXPECT_EQ(itemCount(c->ListView1), 2);
    EXPECT_EQ(cell(c->ListView1, 1, 0), L"110000030]0");
    for (int i = 0; i < 2; ++i) {
        mark(c->ListView1, 0);
        command(kIdMenuDeleteResult);
    }
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_EQ(form_->engine().results().count(), 0u);
    states = menuStatesWhileShown(c->ListView1, form_->popupMenu结果());
    ASSERT_EQ(states.size(), 5u);
    for (UINT state : states) EXPECT_NE(state & MF_GRAYED, 0u);

    firstSearch(sample::kIdOffset);
    command(kIdMenuClearResults);
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_FALSE(form_->engine().results().allocated());
    EXPECT_EQ(status(3), L"3");  // the status bar is left as it was
}

TEST_F(ListsTest, DeletingAndClearingWhileTheMonitorRuns) {
    startSample();
    firstSearch(sample::kIdOffset);
    click(c->Command监视结果);
    ASSERT_TRUE(form_->engine().isWorkerRunning(Worker::Monitor));
    pump(250ms);
    mark(c->ListView1, 0);
    command(kIdMenuDeleteResult);
    ASSERT_TRUE(sample_->command("set32 110020000 77"));
    EXPECT_TRUE(pumpUntil([&] { return cell(c->ListView1, 0, 1) == L"77"; }, 5000ms));
    EXPECT_EQ(itemCount(c->ListView1), 2);
    EXPECT_EQ(cell(c->ListView1, 0, 0), L"110000020]0");
    command(kIdMenuClearResults);
    pump(450ms);  // two monitor cycles over the empty store
    EXPECT_EQ(itemCount(c->ListView1), 0);
    EXPECT_EQ(form_->engine().results().count(), 0u);
    click(c->Command监视结果);
    EXPECT_TRUE(pumpUntil([&] { return form_->engine().busyCheck(); }));
}

TEST_F(ListsTest, TheStructureEditorChecksStartOffsetsOnlyWhileItShows) {
    startSample();
    type(c->Text结构, L"10*3*4]20]");
    leave(c->Text结构);
    ASSERT_EQ(itemCount(c->ListView结构), 2);

    // 3 to 0 in 次数: the row's piece of the text is its start alone.
    doubleClick(c->ListView结构, 0, 1);
    ASSERT_TRUE(c->Text修改.isVisible());
    EXPECT_EQ(windowText(c->Text修改), L"3");
    type(c->Text修改, L"0");
    c->Text偏移.focus();
    EXPECT_FALSE(c->Text修改.isVisible());
    EXPECT_EQ(cell(c->ListView结构, 0, 1), L"0");
    EXPECT_EQ(windowText(c->Text结构), L"10]20]");

    // 'zz' with a click elsewhere: refused, the editor stays, the cell keeps its text.
    doubleClick(c->ListView结构, 1, 0);
    ASSERT_TRUE(c->Text修改.isVisible());
    type(c->Text修改, L"zz");
    {
        MessageBoxCatcher catcher;
        c->Text偏移.focus();
        EXPECT_EQ(catcher.text(), L"不是有效的十六进制数据！");
    }
    pump(50ms);
    EXPECT_TRUE(c->Text修改.isVisible());
    EXPECT_EQ(cell(c->ListView结构, 1, 0), L"20");
    // The box dismissed with Enter: the release reaches the editor, which
    // never saw the press (or saw one before the focus went away), and the
    // refused text stays refused.
    for (const bool pressedBefore : {false, true}) {
        if (pressedBefore) SendMessageW(c->Text修改, WM_KEYDOWN, VK_RETURN, 0);
        {
            MessageBoxCatcher catcher;
            c->Text偏移.focus();
            EXPECT_EQ(catcher.text(), L"不是有效的十六进制数据！") << pressedBefore;
        }
        c->Text修改.focus();
        SendMessageW(c->Text修改, WM_KEYUP, VK_RETURN, 0);
        EXPECT_TRUE(c->Text修改.isVisible()) << pressedBefore;
        EXPECT_EQ(cell(c->ListView结构, 1, 0), L"20") << pressedBefore;
    }
    // With Enter it is taken as typed.
    c->Text修改.focus();
    pressEnter(c->Text修改);
    EXPECT_FALSE(c->Text修改.isVisible());
    c->Text偏移.focus();
    EXPECT_EQ(cell(c->ListView结构, 1, 0), L"zz");
    EXPECT_EQ(windowText(c->Text结构), L"10]zz]");

    // A separator would cut the text into other rows: never taken.
    doubleClick(c->ListView结构, 1, 2);
    type(c->Text修改, L"4]8");
    {
        // Hiding the editor takes its focus, and the check follows at once.
        MessageBoxCatcher catcher;
        pressEnter(c->Text修改);
        c->Text偏移.focus();
        EXPECT_EQ(catcher.text(), L"次数和递增中不能有“]”或“*”！");
    }
    EXPECT_EQ(cell(c->ListView结构, 1, 2), L"4");

    // Scrolling the list hides an open editor.
    doubleClick(c->ListView结构, 0, 0);
    ASSERT_TRUE(c->Text修改.isVisible());
    SendMessageW(c->ListView结构, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_FALSE(c->Text修改.isVisible());
}

TEST_F(ListsTest, TheValueEditorRefusesANumberTheListWouldNotShow) {
    startSample();
    firstSearch(sample::kIdOffset);
    doubleClick(c->ListView1, 0, 1);
    ASSERT_TRUE(c->Text修改内存.isVisible());
    EXPECT_EQ(windowText(c->Text修改内存), L"1000");
    type(c->Text修改内存, L"12x");
    {
        MessageBoxCatcher catcher;
        c->Text偏移.focus();
        EXPECT_EQ(catcher.text(), L"不是有效的长整型10进制数据");
    }
    EXPECT_FALSE(c->Text修改内存.isVisible());
    // An accepted value changes nothing: the list keeps showing the store's.
    doubleClick(c->ListView1, 0, 1);
    type(c->Text修改内存, L" 0042 ");
    c->Text偏移.focus();
    EXPECT_FALSE(c->Text修改内存.isVisible());
    EXPECT_EQ(cell(c->ListView1, 0, 1), L"1000");
    // The wheel hides it too and marks the row at the top.
    doubleClick(c->ListView1, 2, 1);
    ASSERT_TRUE(c->Text修改内存.isVisible());
    SendMessageW(c->ListView1, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_FALSE(c->Text修改内存.isVisible());
    EXPECT_EQ(c->ListView1.selectionMark(), 0);
}

TEST_F(ListsTest, StructureRowsDeletedOneByOneLeaveTheTextEmptyAndTheMenuGreyed) {
    startSample();
    std::vector<UINT> states = menuStatesWhileShown(c->ListView结构, form_->popupMenu结构());
    ASSERT_EQ(states.size(), 3u);
    for (UINT state : states) EXPECT_NE(state & MF_GRAYED, 0u) << "an empty list";
    type(c->Text结构, L"10*3*4]20]");
    leave(c->Text结构);
    mark(c->ListView结构, 0);
    command(kIdMenuDeleteRow);
    EXPECT_EQ(windowText(c->Text结构), L"20]");
    mark(c->ListView结构, 0);
    command(kIdMenuDeleteRow);
    EXPECT_EQ(itemCount(c->ListView结构), 0);
    EXPECT_EQ(windowText(c->Text结构), L"");
    leave(c->Text结构);  // the rows do not come back
    EXPECT_EQ(itemCount(c->ListView结构), 0);
    EXPECT_FALSE(c->Command首次搜索.isEnabled());

    type(c->Text结构, L"10]20]");
    leave(c->Text结构);
    command(kIdMenuClearRows);
    EXPECT_EQ(itemCount(c->ListView结构), 0);
    EXPECT_EQ(windowText(c->Text结构), L"");
}

struct ValueCase {
    const char* text;
    ValueType type;
    std::uint8_t base;
    bool canonical;
};

TEST(ValueCheck, TextsTheListWouldShowPass) {
    const ValueCase cases[] = {
        {"100", ValueType::Long, 0, true},
        {" 0042 ", ValueType::Long, 0, true},
        {"-5", ValueType::Long, 0, true},
        {"-05", ValueType::Long, 0, false},
        {"", ValueType::Long, 0, true},
        {"000", ValueType::Byte, 0, true},
        {"255", ValueType::Byte, 0, true},
        {"256", ValueType::Byte, 0, false},
        {"-1", ValueType::Byte, 0, false},
        {"fffffffb", ValueType::Long, 1, true},
        {"FFFFFFFFB", ValueType::Long, 1, false},
        {"12x", ValueType::Long, 0, false},
        {"9223372036854775807", ValueType::Int64, 0, true},
        {"9223372036854775808", ValueType::Int64, 0, false},
        {"-32768", ValueType::Short, 0, true},
        {"32768", ValueType::Short, 0, false},
        {"1.5", ValueType::Single, 0, false},
        {"1", ValueType::Double, 1, false},
        {"+5", ValueType::Long, 0, false},
    };
    for (const ValueCase& v : cases)
        EXPECT_EQ(isCanonicalValueText(v.text, v.type, v.base), v.canonical)
            << '"' << v.text << "\" type " << static_cast<int>(v.type) << " base " << static_cast<int>(v.base);
}

TEST_F(ListsTest, TheOwnCaptionAnswersForEachButtonSlotTheBordersAndTheCorners) {
    RECT frame{};
    GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    auto hit = [&](int x, int y) {
        return static_cast<int>(SendMessageW(window_, WM_NCHITTEST, 0, MAKELPARAM(frame.left + x, frame.top + y)));
    };
    // From the right: close, maximise, minimise, topmost; each slot 24 wide.
    EXPECT_EQ(hit(width - 3 - 23 + 12, 12), HTCLOSE);
    EXPECT_EQ(hit(width - 3 - 23 - 24 + 12, 12), HTMAXBUTTON);
    EXPECT_EQ(hit(width - 3 - 23 - 48 + 12, 12), HTMINBUTTON);
    EXPECT_EQ(hit(width - 3 - 23 - 72 + 12, 12), 101);
    EXPECT_EQ(hit(200, 12), HTCAPTION);
    EXPECT_EQ(hit(200, 1), HTTOP);
    EXPECT_EQ(hit(13, 13), HTSYSMENU);
    EXPECT_EQ(hit(2, 2), HTTOPLEFT);
    EXPECT_EQ(hit(1, 200), HTLEFT);
    EXPECT_EQ(hit(width - 1, frame.bottom - frame.top - 1), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(200, 200), HTCLIENT);

    // The pin's toggle itself is tested on a window of its own: Wine keeps a
    // window out of the topmost band while it owns a topmost tool tip, as
    // the status bar's is.
}

}  // namespace
}  // namespace corvane
