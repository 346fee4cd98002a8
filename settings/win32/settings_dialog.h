#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "framework/form.h"

namespace corvane {

// What the settings dialogs need of the main window.
class SettingsHost {
public:
    // The target's executable name ("选择进程" before one is chosen).
    virtual std::string targetName() const = 0;
    // The settings name loaded last, proposed when saving.
    virtual std::string loadedStructureName() const = 0;
    virtual void writeSettingsSection(const std::u16string& file, const std::string& name) = 0;
    virtual void readSettingsSection(const std::u16string& file, const std::string& name) = 0;
    virtual void parseStructureText() = 0;

protected:
    ~SettingsHost() = default;
};

enum class SettingsDialogKind : unsigned char { Save, Load };

enum SettingsDialogId : int {
    kIdSettingsAction = 102,  // 保存 or 读取
    kIdSettingsFile = 103,
    kIdSettingsFileLabel = 104,
    kIdSettingsNameLabel = 105,
    kIdSettingsName = 106,
    kIdSettingsCancel = 107,
};

struct SettingsDialogControls {
    Window Command;  // Command保存 or Command读取
    ComboBox Combo文件;
    ComboBox Combo结构;
    Window Command取消;
};

// The twin dialogs "保存设置" and "读取设置": a file title and a settings
// name, each from a list of what the settings folder holds.
class SettingsDialog : public ModalDialog {
public:
    SettingsDialog(SettingsDialogKind kind, SettingsHost& host, std::u16string folder);

    SettingsDialogKind kind() const { return kind_; }
    const SettingsDialogControls& controls() const { return controls_; }

protected:
    bool build(HWND owner) override;
    HWND firstFocus() const override { return controls_.Command; }
    void onCommand(int id, int code, HWND control) override;
    void onLoad() override;
    void onScaleChanged(const DpiScale& previous) override;

private:
    // Leaves the dialog alone when it was closed while the folder was listed.
    void onFileDropDown();
    void sizeComboItems();
    void onNameDropDown();
    void onActionClicked();
    void save();
    void load();
    void fillNames();
    // The file the file field names, or none for a title that names no file.
    std::optional<std::u16string> chosenFile() const;
    void tell(const std::u16string_view message, const ComboBox& focus);

    SettingsDialogKind kind_;
    SettingsHost& host_;
    std::u16string folder_;
    SettingsDialogControls controls_;
};

}  // namespace corvane
