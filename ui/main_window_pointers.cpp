// The pointer scan from the results list: the dialog opens over the address
// of the row at the selection mark.

#include "ui/main_window.h"

#include "framework/window_text.h"

namespace corvane {

bool Form1::preparePointerScan() {
    const int row = controls_.ListView1.selectionMark();
    if (row < 0 || static_cast<std::size_t>(row) >= engine_->results().count()) return false;
    if (!engine_->busyCheck()) return false;
    pointerDialog_->setAddress(engine_->results().address(static_cast<std::size_t>(row)));
    return true;
}

void Form1::showPointerScan() {
    if (preparePointerScan()) pointerDialog_->showModal(hwnd());
}

void Form1::usePointerPath(const std::string& structure) {
    controls_.Text结构.setText(widen(structure));
    parseStructureText();
}

}  // namespace corvane
