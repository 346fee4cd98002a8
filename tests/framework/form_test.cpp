// The form machinery on a small form of its own: binding, routing, opening
// twice, the modal loop and its owner, centring. Needs a display.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "framework/fonts.h"
#include "framework/form.h"
#include "framework/routes.h"
#include "tests/ui/window_test_support.h"

namespace corvane {
namespace {

constexpr int kIdButton = 201;
constexpr int kIdEdit = 202;

class TestForm : public Form {
public:
    explicit TestForm(const wchar_t* name) : Form(name) {}

    bool create(HWND owner) {
        const ControlSpec table[] = {
            {&button, L"Button", L"BUTTON", kIdButton, L"OK", 10, 10, 60, 24, WS_VISIBLE | BS_DEFPUSHBUTTON, 0},
            {nullptr, L"Label", kWindowlessLabel, 203, L"label", 10, 40, 60, 16, DT_LEFT, 0},
            {&edit, L"Edit", L"TEXTBOX", kIdEdit, L"", 10, 60, 100, 20, WS_VISIBLE, WS_EX_CLIENTEDGE, nullptr,
             kColorWindowText, kColorWindow, kAnchorStretchWidth},
        };
        constexpr FormDesign design{L"test form", 240, 160, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, nullptr, true};
        return open(owner, design, table);
    }

    Window button;
    Edit edit;
    std::set<UINT> seen;
    int clicks = 0;
    int loads = 0;

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.insert(message);
        return frameworkMessage(message, wParam, lParam);
    }
    void onCommand(int id, int code, HWND control) override {
        static const CommandRoute<TestForm> routes[] = {{kIdButton, BN_CLICKED, &TestForm::onClicked}};
        if (!routeCommand<TestForm>(*this, routes, id, code)) Form::onCommand(id, code, control);
    }
    void onLoad() override { ++loads; }

private:
    void onClicked() { ++clicks; }
};

int windowsOfClass(const wchar_t* className) {
    struct Count {
        const wchar_t* name;
        int found = 0;
    } count{className};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Count*>(data);
            wchar_t name[128] = {};
            GetClassNameW(window, name, 128);
            if (lstrcmpW(name, c->name) == 0) ++c->found;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.found;
}

RECT workArea() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

TEST(Form, TheFormSeesItsWholeLifeAndItsTableBindsTheSlots) {
    TestForm form(L"FormA");
    if (!form.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    for (UINT message :
         {static_cast<UINT>(WM_NCCREATE), static_cast<UINT>(WM_NCCALCSIZE), static_cast<UINT>(WM_CREATE)})
        EXPECT_TRUE(form.seen.count(message)) << "message " << message;
    EXPECT_EQ(form.button.id(), kIdButton);
    EXPECT_EQ(GetParent(form.button), form.hwnd());
    EXPECT_EQ(form.edit.id(), kIdEdit);
    ASSERT_NE(form.label(203), nullptr);
    EXPECT_EQ(form.label(203)->caption, L"label");
    pump(30ms);
    EXPECT_EQ(form.loads, 1);

    SendMessageW(form.button, BM_CLICK, 0, 0);
    EXPECT_EQ(form.clicks, 1);
    // Enter presses the default button; Esc closes.
    EXPECT_EQ(LOWORD(SendMessageW(form.hwnd(), DM_GETDEFID, 0, 0)), kIdButton);
    SendMessageW(form.hwnd(), WM_COMMAND, IDCANCEL, 0);
    pump(30ms);
    EXPECT_FALSE(form.isOpen());
    EXPECT_EQ(form.button.exists(), false);
    EXPECT_EQ(form.button.hwnd(), nullptr) << "a closed form's slots are views of no window";
}

TEST(Form, EachControlCarriesItsRecordUntilItsWindowGoes) {
    const std::size_t before = liveControlRecords();
    TestForm form(L"FormRecords");
    if (!form.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    // The form, its label and its two controls.
    EXPECT_EQ(liveControlRecords(), before + 4);
    ControlRecord* edit = Form::recordOf(form.edit);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->id, kIdEdit);
    EXPECT_EQ(edit->window, form.edit.hwnd());
    EXPECT_EQ(Form::recordOf(form.hwnd()), nullptr) << "a form window is no control";
    // A control that goes alone gives its record back at once.
    DestroyWindow(form.edit);
    EXPECT_EQ(liveControlRecords(), before + 3);
    EXPECT_EQ(Form::recordOf(form.button)->id, kIdButton);
    DestroyWindow(form.hwnd());
    EXPECT_EQ(liveControlRecords(), before);
}

TEST(Form, AScreenOfAnotherDpiScalesTheFormAndItsControlsAgain) {
    TestForm form(L"FormDpi");
    form.setScaleOverride(scaleForDpi(96, 96));
    if (!form.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    pump(30ms);
    RECT client96{};
    GetClientRect(form.hwnd(), &client96);
    const int margin96 = client96.right - form.edit.rectInParent().right;
    for (int dpi : {144, 120}) {
        const double factor = dpi / 96.0;
        RECT outer{};
        GetWindowRect(form.hwnd(), &outer);
        const RECT suggested{outer.left + 10, outer.top + 5, outer.left + 10 + scaled(300, factor),
                             outer.top + 5 + scaled(200, factor)};
        SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(form.scale().dpiX, dpi);
        RECT now{};
        GetWindowRect(form.hwnd(), &now);
        EXPECT_TRUE(EqualRect(&now, &suggested)) << dpi << " dpi";
        RECT client{};
        GetClientRect(form.hwnd(), &client);
        // Unanchored: the designed place at the new scale.
        const RECT button = form.button.rectInParent();
        EXPECT_EQ(button.left, scaled(10, factor)) << dpi << " dpi";
        EXPECT_EQ(button.right, scaled(70, factor)) << dpi << " dpi";
        EXPECT_EQ(button.bottom, scaled(34, factor)) << dpi << " dpi";
        // Stretched: the margin taken at 96 dpi, now at the new scale.
        const RECT edit = form.edit.rectInParent();
        EXPECT_EQ(edit.left, scaled(10, factor)) << dpi << " dpi";
        EXPECT_NEAR(client.right - edit.right, scaled(margin96, factor), 1) << dpi << " dpi";
        // The default font at the new dpi: Segoe UI 9 or Tahoma 8, as the
        // system and the process's awareness choose.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form.button, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_TRUE(font.lfHeight == fontHeight(9, dpi, dpi) || font.lfHeight == fontHeight(8, dpi, dpi))
            << font.lfHeight << " at " << dpi << " dpi";
    }
    DestroyWindow(form.hwnd());
}

TEST(Form, OpeningAnOpenFormBringsItForwardInsteadOfASecondWindow) {
    TestForm form(L"FormB");
    if (!form.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    HWND first = form.hwnd();
    ASSERT_TRUE(form.create(nullptr));
    EXPECT_EQ(form.hwnd(), first);
    EXPECT_EQ(windowsOfClass(L"Corvane_x32_x64_FormB"), 1);
    DestroyWindow(first);
    // Closed, it opens anew with fresh controls.
    ASSERT_TRUE(form.create(nullptr));
    EXPECT_NE(form.hwnd(), nullptr);
    EXPECT_TRUE(form.button.exists());
    DestroyWindow(form.hwnd());
}

TEST(Form, ClosingAModalFormEnablesItsOwnerAgain) {
    TestForm owner(L"FormOwner");
    if (!owner.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    TestForm dialog(L"FormModal");
    ASSERT_TRUE(dialog.create(owner.hwnd()));
    std::atomic<bool> ownerDisabledMeanwhile{false};
    std::thread closer([&] {
        for (int i = 0; i < 500 && !IsWindowVisible(dialog.hwnd()); ++i) std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(50ms);
        ownerDisabledMeanwhile = IsWindowEnabled(owner.hwnd()) == FALSE;
        PostMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
    });
    dialog.showForm(true, owner.hwnd());
    closer.join();
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
    DestroyWindow(owner.hwnd());
}

TEST(Form, ADialogCentredOverItsOwnerStaysInsideTheWorkArea) {
    TestForm owner(L"FormFar");
    if (!owner.create(nullptr)) GTEST_SKIP() << "no display for windows here";
    const RECT work = workArea();
    struct Place {
        int x, y;
    };
    // Over the middle of the screen, then hanging off each corner.
    const Place places[] = {{work.left + 300, work.top + 300},
                            {work.right - 60, work.bottom - 40},
                            {work.left - 200, work.top - 120},
                            {work.right - 60, work.top - 120}};
    for (const Place& place : places) {
        SetWindowPos(owner.hwnd(), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        TestForm dialog(L"FormCentred");
        ASSERT_TRUE(dialog.create(owner.hwnd()));
        RECT rect{};
        GetWindowRect(dialog.hwnd(), &rect);
        EXPECT_GE(rect.left, work.left) << place.x << "," << place.y;
        EXPECT_GE(rect.top, work.top) << place.x << "," << place.y;
        EXPECT_LE(rect.right, work.right) << place.x << "," << place.y;
        EXPECT_LE(rect.bottom, work.bottom) << place.x << "," << place.y;
        if (place.x == work.left + 300) {
            RECT over{};
            GetWindowRect(owner.hwnd(), &over);
            EXPECT_NEAR((rect.left + rect.right) / 2, (over.left + over.right) / 2, 1);
            EXPECT_NEAR((rect.top + rect.bottom) / 2, (over.top + over.bottom) / 2, 1);
        }
        DestroyWindow(dialog.hwnd());
    }
    DestroyWindow(owner.hwnd());
}

}  // namespace
}  // namespace corvane
