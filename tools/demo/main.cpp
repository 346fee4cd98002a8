// Shows Corvane as a newcomer sees it after a first search against the
// sample target, with the process list open over it, for the README's
// picture: tools/screenshot.sh takes it. Runs until it is ended.

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_process.h"
#include "ui/main_window.h"
#include "ui/picture.h"

namespace {

using namespace std::chrono_literals;

void pumpFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(10ms);
    }
}

}  // namespace

int main() {
    using namespace corvane;
    GdiplusSession gdiplus;
    std::string why;
    const auto sample = sample::SampleProcess::start(false, false, why);
    if (!sample) return 1;
    Form1 form;
    HWND window = form.create();
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOW);
    pumpFor(300ms);
    const Form1Controls& c = form.controls();
    form.chooseProcess(sample->pid());
    c.Combo类型.select(static_cast<int>(ValueType::Long));
    c.Text结构.setText(L"110000000*8*8]0]");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kIdCommand首次搜索, BN_CLICKED), 0);
    pumpFor(2s);
    if (form.processList().create(window)) {
        SetWindowPos(form.processList().hwnd(), nullptr, 460, 330, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(form.processList().hwnd(), SW_SHOW);
    }
    for (;;) pumpFor(1s);
}
