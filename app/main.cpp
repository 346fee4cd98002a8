// Corvane: finds values inside another process by walking pointer structures.

#include <windows.h>

#include <clocale>
#include <cstdio>
#include <exception>

#include "ui/main_window.h"
#include "ui/picture.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Character conversions of the C runtime follow the user's default locale.
    std::setlocale(LC_CTYPE, "");
    try {
        corvane::GdiplusSession gdiplus;
        // The window and its engine stay alive to the end: a worker still
        // running when the window closes is not waited for, and the process
        // ends under it.
        auto* form = new corvane::Form1;
        form->run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Corvane: %s\n", error.what());
        ExitProcess(1);
    }
    ExitProcess(0);
}
