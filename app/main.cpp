// Corvane: finds values inside another process by walking pointer structures.

#include <windows.h>

#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

#include "ui/main_window.h"
#include "ui/picture.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Character conversions of the C runtime follow the user's default locale.
    std::setlocale(LC_CTYPE, "");
    try {
        corvane::GdiplusSession gdiplus;
        // The window ends as it does in the tests: its window goes, then its
        // workers are stopped and waited for and the results released, all
        // before the drawing session closes and the runtime shuts down.
        const auto form = std::make_unique<corvane::Form1>();
        return form->run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Corvane: %s\n", error.what());
        return 1;
    }
}
