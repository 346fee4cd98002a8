#pragma once

// The real main window over the sample target, as the window tests drive it.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "settings/settings_paths.h"
#include "tests/ui/window_test_support.h"
#include "tools/sample_target/sample_process.h"
#include "ui/main_window.h"
#include "ui/picture.h"

namespace corvane {

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
            form_->engine().stopRequested.raise();
            form_->engine().stopMonitor();
            DestroyWindow(window_);
        }
        form_.reset();
    }

    void startSample(bool large = false, std::optional<std::uint32_t> seed = std::nullopt) {
        std::string why;
        sample_ = sample::SampleProcess::start(false, large, why, false, seed);
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
    // A real double click on a cell; the list answers with LVN_ITEMACTIVATE.
    void doubleClick(const ListView& list, int row, int column) {
        const RECT cellRect = list.subItemRect(row, column);
        const LPARAM at = MAKELPARAM(cellRect.left + 4, (cellRect.top + cellRect.bottom) / 2);
        // The list follows a press until the button comes up, reading the
        // queue: the release waits there first.
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        pump(20ms);
    }
    void select(HWND combo, int index) {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void type(HWND box, const std::wstring& text) {
        SetWindowTextW(box, text.c_str());  // EN_CHANGE follows by itself
    }
    // Enter on a control as the window's own loop delivers it: the press
    // goes through the dialog handling, which keeps it from a single-line
    // box, and the release reaches the control.
    void pressEnter(HWND control) {
        MSG press{control, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        if (!IsDialogMessageW(window_, &press)) DispatchMessageW(&press);
        SendMessageW(control, WM_KEYUP, VK_RETURN, 0);
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

}  // namespace corvane
