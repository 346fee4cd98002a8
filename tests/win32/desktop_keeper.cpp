// Keeps Wine's desktop in use while the Windows tests run, until it is killed.
//
// With no program on the desktop, Wine ends its desktop process a moment after
// each window test, and the next window test starts another one. That process
// inherits the test's output pipes, so ctest waits for it to end before it
// counts the test as done: the window tests then run one after the other.
// Started before ctest with its output elsewhere, this program holds the
// desktop, and the one desktop process it starts holds no test's pipes.

#include <windows.h>

int main() {
    // A window that is never shown: it ties the process to the desktop. The
    // loop answers what is broadcast to every top-level window.
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return 1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
