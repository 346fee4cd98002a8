// Settings sections to and from the main window's controls.

#include "framework/window_text.h"
#include "settings/settings_record.h"
#include "ui/main_window.h"

namespace corvane {

void Form1::writeSettingsSection(const std::u16string& file, const std::string& name) {
    SettingsRecord record;
    record.structureText = narrow(text(controls_.Text结构));
    record.typeIndex = indexText(selection(controls_.Combo类型));
    record.baseIndex = indexText(selection(controls_.Combo进制));
    record.conditionIndex = indexText(selection(controls_.Combo过滤));
    record.value1 = narrow(text(controls_.Text数值1));
    record.value2 = narrow(text(controls_.Text数值2));
    writeSettingsRecord(file, name, record);
}

void Form1::readSettingsSection(const std::u16string& file, const std::string& name) {
    const SettingsRecord record = readSettingsRecord(file, name);
    setText(controls_.Text结构, widen(record.structureText));
    SendMessageW(controls_.Combo类型, CB_SETCURSEL, static_cast<WPARAM>(indexFromText(record.typeIndex)), 0);
    rebuildBaseItems();
    SendMessageW(controls_.Combo进制, CB_SETCURSEL, static_cast<WPARAM>(indexFromText(record.baseIndex)), 0);
    SendMessageW(controls_.Combo过滤, CB_SETCURSEL, static_cast<WPARAM>(indexFromText(record.conditionIndex)), 0);
    setText(controls_.Text数值1, widen(record.value1));
    setText(controls_.Text数值2, widen(record.value2));
    if (ControlRecord* structure = recordOf(controls_.Text结构)) structure->tag = widen(name);
    onConditionChanged();
}

}  // namespace corvane
