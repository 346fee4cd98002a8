// Every dialog the main window opens, laid out as the main window is tested:
// each control inside the client area at 96, 120 and 144 dpi and after the
// dialog was made larger; and the 指针扫描 dialog's bottom row kept below
// its list, at the bottom edge.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/scaling.h"
#include "framework/window_text.h"
#include "tests/ui/window_test_support.h"
#include "ui/main_window.h"

namespace corvane {
namespace {

std::string describe(HWND control) {
    wchar_t name[64] = L"";
    GetClassNameW(control, name, 64);
    return "control " + std::to_string(GetDlgCtrlID(control)) + " (" + narrow(name) + " \"" +
           narrow(windowText(control)) + "\")";
}

RECT inParent(HWND control) {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return box;
}

// Each visible control of `form` (not the parts inside a control) lies
// wholly inside its client area.
void expectInside(HWND form, const std::string& context) {
    RECT area{};
    GetClientRect(form, &area);
    std::vector<HWND> children;
    EnumChildWindows(
        form,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    int checked = 0;
    for (HWND child : children) {
        if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0 || GetParent(child) != form) continue;
        const RECT box = inParent(child);
        EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= area.right && box.bottom <= area.bottom)
            << context << ": " << describe(child) << " at " << box.left << "," << box.top << "–" << box.right << ","
            << box.bottom << " outside " << area.right << "×" << area.bottom;
        ++checked;
    }
    EXPECT_GT(checked, 0) << context << ": no controls";
}

void makeLarger(HWND form) {
    RECT outer{};
    GetWindowRect(form, &outer);
    SetWindowPos(form, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    pump(std::chrono::milliseconds(30));
}

// The bottom row stands at the client area's bottom edge, below the list.
void expectPointerBottomRow(const PointerDialog& dialog, double factor, const std::string& context) {
    const PointerDialogControls& c = dialog.controls();
    RECT area{};
    GetClientRect(dialog.hwnd(), &area);
    const RECT list = inParent(c.ListV路径);
    for (HWND button : {c.Command使用.hwnd(), c.Command保存路径.hwnd(), c.Command读取路径.hwnd()}) {
        const RECT box = inParent(button);
        EXPECT_NEAR(area.bottom - box.bottom, 12 * factor, 1.5) << context << ": " << describe(button);
        EXPECT_GT(box.top, list.bottom) << context << ": the list reaches over " << describe(button);
    }
}

TEST(DialogLayout, EveryControlInsideTheClientAreaAtThreeDpiValuesAndAfterAResize) {
    for (int dpi : {96, 120, 144}) {
        Form1 form;
        const DpiScale scale = scaleForDpi(dpi, dpi);
        form.setScaleOverride(scale);
        HWND window = form.create();
        if (window == nullptr) GTEST_SKIP() << "no display for windows here";
        const std::pair<ModalDialog*, const char*> dialogs[] = {
            {&form.processList(), "进程列表"},   {&form.saveDialog(), "保存设置"},    {&form.loadDialog(), "读取设置"},
            {&form.pointerDialog(), "指针扫描"}, {&form.dissectDialog(), "结构分析"},
        };
        for (const auto& [dialog, name] : dialogs) {
            const std::string context = std::string(name) + " at " + std::to_string(dpi) + " dpi";
            dialog->setScaleOverride(scale);
            ASSERT_TRUE(dialog->create(window)) << context;
            ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
            pump(std::chrono::milliseconds(50));
            expectInside(dialog->hwnd(), context);
            if (dialog == &form.pointerDialog()) expectPointerBottomRow(form.pointerDialog(), dpi / 96.0, context);
            makeLarger(dialog->hwnd());
            expectInside(dialog->hwnd(), context + ", made larger");
            if (dialog == &form.pointerDialog())
                expectPointerBottomRow(form.pointerDialog(), dpi / 96.0, context + ", made larger");
            DestroyWindow(dialog->hwnd());
        }
        DestroyWindow(window);
    }
}

}  // namespace
}  // namespace corvane
