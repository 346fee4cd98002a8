// Settings sections to and from the main window's controls.

#include "framework/window_text.h"
#include "settings/settings_record.h"
#include "ui/main_window.h"

namespace corvane {

void Form1::writeSettingsSection(const std::u16string& file, const std::string& name) {
    const Form1Controls& c = controls_;
    SettingsRecord record;
    record.structureText = narrow(c.Text结构.text());
    record.typeIndex = indexText(c.Combo类型.selection());
    record.baseIndex = indexText(c.Combo进制.selection());
    record.conditionIndex = indexText(c.Combo过滤.selection());
    record.value1 = narrow(c.Text数值1.text());
    record.value2 = narrow(c.Text数值2.text());
    writeSettingsRecord(file, name, record);
}

void Form1::readSettingsSection(const std::u16string& file, const std::string& name) {
    const Form1Controls& c = controls_;
    const SettingsRecord record = readSettingsRecord(file, name);
    c.Text结构.setText(widen(record.structureText));
    c.Combo类型.select(indexFromText(record.typeIndex));
    rebuildBaseItems();
    c.Combo进制.select(indexFromText(record.baseIndex));
    c.Combo过滤.select(indexFromText(record.conditionIndex));
    c.Text数值1.setText(widen(record.value1));
    c.Text数值2.setText(widen(record.value2));
    if (ControlRecord* structure = recordOf(c.Text结构)) structure->tag = widen(name);
    onConditionChanged();
}

}  // namespace corvane
