// 结构分析 from the results list: the view opens on the marked row's path,
// so that what it finds can be written as a structure from the same start.

#include "ui/main_window.h"

#include "framework/window_text.h"

namespace corvane {

bool Form1::prepareDissect() {
    const int row = controls_.ListView1.selectionMark();
    if (row < 0 || static_cast<std::size_t>(row) >= engine_->results().count()) return false;
    dissectDialog_->setStart(engine_->results().pathText(static_cast<std::size_t>(row)));
    return true;
}

void Form1::showDissect() {
    if (prepareDissect()) dissectDialog_->showModal(hwnd());
}

std::vector<std::uint64_t> Form1::markedResultAddresses() const {
    std::vector<std::uint64_t> addresses;
    const ListView& list = controls_.ListView1;
    for (int row = list.nextItem(-1, LVNI_SELECTED); row >= 0; row = list.nextItem(row, LVNI_SELECTED))
        if (static_cast<std::size_t>(row) < engine_->results().count())
            addresses.push_back(engine_->results().address(static_cast<std::size_t>(row)));
    return addresses;
}

void Form1::useDissectStructure(const MadeStructure& made) {
    controls_.Text结构.setText(widen(made.text));
    parseStructureText();
    const auto type = static_cast<int>(made.type);
    if (controls_.Combo类型.selection() != type) {
        controls_.Combo类型.select(type);
        onTypeChanged();
    }
}

}  // namespace corvane
