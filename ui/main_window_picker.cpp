// Choosing the target: the drag picker, the process list, and the settings
// that come back with the choice; the settings dialogs.

#include "framework/window_text.h"
#include "settings/settings_paths.h"
#include "ui/main_window.h"
#include "ui/process_name.h"

namespace corvane {

void Form1::onLeftButtonDown(POINT point) {
    const ControlRecord* image = label(kIdImage1);
    if (image == nullptr || image1Inert_) return;
    const RECT box = deviceRect(image->geometry);
    if (!PtInRect(&box, point)) return;
    if (HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), L"CURSOR_FAVICON1")) SetCursor(cursor);
    SetCapture(hwnd());
    picking_ = true;
    image1Shown_ = &image1Dragging_;
    InvalidateRect(hwnd(), &box, TRUE);
    timer1Enabled_ = true;
    timer1Interval_ = 100;
    SetTimer(hwnd(), kIdTimer1, timer1Interval_, nullptr);
}

void Form1::onTimer(UINT_PTR id) {
    if (id != kIdTimer1) return;
    // One tick at a time: the timer is set again only after the tick.
    KillTimer(hwnd(), kIdTimer1);
    pickerTick();
    if (timer1Enabled_ && timer1Interval_ > 0) SetTimer(hwnd(), kIdTimer1, timer1Interval_, nullptr);
}

void Form1::pickerTick() {
    POINT cursor{};
    GetCursorPos(&cursor);
    HWND under = WindowFromPoint(cursor);
    DWORD pid = 0;
    GetWindowThreadProcessId(under, &pid);
    if (GetAsyncKeyState(VK_LBUTTON) != 0) return;
    ReleaseCapture();
    picking_ = false;
    image1Shown_ = &image1Rest_;
    InvalidateRect(hwnd(), nullptr, TRUE);
    chooseProcess(pid);
    timer1Enabled_ = false;
    timer1Interval_ = 0;
}

void Form1::chooseProcess(DWORD pid) {
    const Form1Controls& c = controls_;
    if (pid == target_.targetPid.load()) return;
    target_.targetPid = pid;
    c.Command监视结果.enable(false);
    c.Command再次搜索.enable(false);
    c.Command选择进程.setText(widen(processExeName(pid)));
    readSettingsSection(configFilePath(), targetName());
    enableInputs(false);
}

void Form1::showProcessList() { processList_->showModal(hwnd()); }

void Form1::showSaveDialog() { saveDialog_->showModal(hwnd()); }

void Form1::showLoadDialog() { loadDialog_->showModal(hwnd()); }

}  // namespace corvane
