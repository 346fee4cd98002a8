#include "settings/win32/settings_dialog.h"

#include "framework/routes.h"
#include "framework/window_text.h"
#include "settings/settings_dialog_logic.h"
#include "settings/settings_listing.h"

namespace corvane {
namespace {

constexpr const wchar_t* kFont = L"Microsoft YaHei,9,0";
constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER;
constexpr DWORD kComboStyle = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL;
constexpr DWORD kLabel = DT_LEFT | DT_WORDBREAK;

std::wstring wideText(std::u16string_view text) { return {text.begin(), text.end()}; }

}  // namespace

SettingsDialog::SettingsDialog(SettingsDialogKind kind, SettingsHost& host, std::u16string folder)
    : ModalDialog(kind == SettingsDialogKind::Save ? L"Form保存" : L"Form读取"),
      kind_(kind),
      host_(host),
      folder_(std::move(folder)) {}

bool SettingsDialog::build(HWND owner) {
    const bool saving = kind_ == SettingsDialogKind::Save;
    SettingsDialogControls& c = controls_;
    // Saving types a title and a name; loading picks both from lists.
    const DWORD combo = kComboStyle | (saving ? CBS_DROPDOWN : CBS_DROPDOWNLIST);
    const ControlSpec table[] = {
        {&c.Command, saving ? L"Command保存" : L"Command读取", L"BUTTON", kIdSettingsAction, saving ? L"保存" : L"读取",
         80, 143, 73, 26, kButton | BS_DEFPUSHBUTTON, 0, kFont},
        // The height of a combo box is its drop-down's.
        {&c.Combo文件, L"Combo文件", L"COMBOBOX", kIdSettingsFile, L"", 80, 41, 167, 300, combo, WS_EX_CLIENTEDGE,
         kFont, kColorWindowText, kColorWindow},
        {nullptr, L"Label1", kWindowlessLabel, kIdSettingsFileLabel, saving ? L"数据保存到文件名↓" : L"数据文件名称↓",
         79, 23, 217, 23, kLabel, 0, kFont},
        {nullptr, L"Label2", kWindowlessLabel, kIdSettingsNameLabel, L"数据结构名字↓", 82, 81, 197, 23, kLabel, 0,
         kFont},
        {&c.Combo结构, L"Combo结构", L"COMBOBOX", kIdSettingsName, L"", 82, 100, 167, 300, combo, WS_EX_CLIENTEDGE,
         kFont, kColorWindowText, kColorWindow},
        {&c.Command取消, L"Command取消", L"BUTTON", kIdSettingsCancel, L"取消", 178, 143, 73, 26,
         kButton | BS_PUSHBUTTON, 0, kFont},
    };
    const DWORD sizing = saving ? WS_THICKFRAME : 0;
    const FormDesign design{saving ? L"保存设置" : L"读取设置",
                            348,
                            234,
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN |
                                WS_CLIPSIBLINGS | sizing,
                            WS_EX_CONTROLPARENT | WS_EX_TOOLWINDOW,
                            L"AAAAA_APPICON",
                            true};
    if (!open(owner, design, table)) return false;
    sizeComboItems();
    return true;
}

void SettingsDialog::sizeComboItems() {
    for (const ComboBox& box : {controls_.Combo文件, controls_.Combo结构}) {
        box.setItemHeight(-1, scaled(20, scale().y));
        box.setItemHeight(0, scaled(18, scale().y));
    }
}

void SettingsDialog::onScaleChanged(const DpiScale&) { sizeComboItems(); }

void SettingsDialog::onCommand(int id, int code, HWND control) {
    static const CommandRoute<SettingsDialog> routes[] = {
        {kIdSettingsFile, CBN_DROPDOWN, &SettingsDialog::onFileDropDown},
        {kIdSettingsName, CBN_DROPDOWN, &SettingsDialog::onNameDropDown},
        {kIdSettingsAction, BN_CLICKED, &SettingsDialog::onActionClicked},
        {kIdSettingsCancel, BN_CLICKED, &SettingsDialog::closeForm},
    };
    if (!routeCommand<SettingsDialog>(*this, routes, id, code)) Form::onCommand(id, code, control);
}

void SettingsDialog::onLoad() {
    const SettingsDialogControls& c = controls_;
    const std::string proposedTitle = fileTitle(host_.targetName());
    if (kind_ == SettingsDialogKind::Save) {
        // The list of titles stays empty until it is dropped down.
        c.Combo文件.setText(widen(proposedTitle));
        c.Combo结构.setText(widen(host_.loadedStructureName()));
        fillNames();
        return;
    }
    HWND window = hwnd();
    onFileDropDown();
    if (hwnd() != window) return;
    c.Combo文件.select(c.Combo文件.findExact(widen(proposedTitle)));
    fillNames();
    c.Combo结构.select(c.Combo结构.count() > 0 ? 0 : -1);
}

void SettingsDialog::onFileDropDown() {
    HWND window = hwnd();
    controls_.Combo文件.reset();
    // A large folder is listed with the messages pumped: the dialog may be
    // closed meanwhile, and a closed dialog is never touched again.
    const std::vector<std::string> titles = listSettingsFiles(folder_, pumpPendingMessages);
    if (hwnd() != window) return;
    for (const std::string& title : titles) controls_.Combo文件.add(widen(title));
}

void SettingsDialog::onNameDropDown() {
    controls_.Combo结构.reset();
    fillNames();
}

void SettingsDialog::fillNames() {
    const std::optional<std::u16string> file = chosenFile();
    if (!file) return;
    for (const std::string& name : listSectionNames(*file)) controls_.Combo结构.add(widen(name));
}

std::optional<std::u16string> SettingsDialog::chosenFile() const {
    return settingsFilePath(folder_, narrow(controls_.Combo文件.currentText()));
}

void SettingsDialog::tell(const std::u16string_view message, const ComboBox& focus) {
    messageBox(hwnd(), wideText(message), MB_OK);
    focus.focus();
}

void SettingsDialog::onActionClicked() {
    if (kind_ == SettingsDialogKind::Save)
        save();
    else
        load();
}

void SettingsDialog::save() {
    const SettingsDialogControls& c = controls_;
    const std::string title = narrow(c.Combo文件.currentText());
    const std::string name = narrow(c.Combo结构.currentText());
    const bool listed = c.Combo结构.findExact(c.Combo结构.currentText()) >= 0;
    switch (const DialogDecision decision = decideSave(title, name, listed); decision.step) {
        case DialogStep::AskFileTitle: return tell(u"请先输入设置保存文件名...", c.Combo文件);
        case DialogStep::RefuseFileTitle: return tell(fileTitleErrorMessage(decision.titleError), c.Combo文件);
        case DialogStep::AskName: return tell(u"请先给结构取个名字...", c.Combo结构);
        case DialogStep::AskReplace:
            if (messageBox(hwnd(), L"当前结构名字已经存在，是否替换当前设置...", MB_YESNO | MB_ICONQUESTION) != IDYES)
                return;
            break;
        case DialogStep::Proceed: break;
    }
    if (const std::optional<std::u16string> file = chosenFile()) host_.writeSettingsSection(*file, name);
    closeForm();
}

void SettingsDialog::load() {
    const SettingsDialogControls& c = controls_;
    const std::string title = narrow(c.Combo文件.currentText());
    const std::string name = narrow(c.Combo结构.currentText());
    switch (const DialogDecision decision = decideLoad(title, name); decision.step) {
        case DialogStep::AskFileTitle: return tell(u"请先选择读取文件名...", c.Combo文件);
        case DialogStep::RefuseFileTitle: return tell(fileTitleErrorMessage(decision.titleError), c.Combo文件);
        case DialogStep::AskName: return tell(u"请先选择读取结构名字...", c.Combo结构);
        case DialogStep::AskReplace:
        case DialogStep::Proceed: break;
    }
    if (const std::optional<std::u16string> file = chosenFile()) {
        host_.readSettingsSection(*file, name);
        host_.parseStructureText();
    }
    closeForm();
}

}  // namespace corvane
