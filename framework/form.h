#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/control_registry.h"
#include "framework/scaling.h"

namespace corvane {

// The message a form posts to itself once it is created; its load handler
// runs when the message loop picks it up, with the form on screen.
inline constexpr UINT kAfterCreationMessage = 0x1000;
inline constexpr WPARAM kAfterCreationParam = 4096;

// What a form's window carries: its module, class, scale and default font.
struct FormObject {
    HWND hwnd = nullptr;
    HINSTANCE instance = nullptr;
    HFONT defaultFont = nullptr;
    DpiScale scale;
    ATOM classAtom = 0;
    std::wstring className;
    std::wstring defaultFace = L"Segoe UI";
    int defaultSize = 9;
};

// One control of a form as its creator declares it.
struct ControlSpec {
    const wchar_t* name;
    const wchar_t* type;  // control-type name, see systemClassFor
    int id;
    const wchar_t* caption;
    int x, y, width, height;  // 96-dpi units
    DWORD style;
    DWORD exStyle;
    const wchar_t* font = nullptr;  // FontSpec text
    ColorSpec textColor = kColorDefault;
    ColorSpec backColor = kColorDefault;
    AnchorCode anchor = 0;
};

// A control slot of a form: the window and its id.
struct ControlSlot {
    HWND hwnd = nullptr;
    int id = 0;
};

// The shared machinery of every form: window class, creation of controls by
// type name with dpi scaling, fonts, colours, anchors, windowless labels, the
// modal loop and closing. A form type derives from it and dispatches its own
// messages in handleMessage, leaving the rest to frameworkMessage.
class Form {
public:
    explicit Form(std::wstring formName);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return object_ ? object_->hwnd : nullptr; }
    const DpiScale& scale() const { return scale_; }
    const std::wstring& formName() const { return formName_; }

    // The form's window: created once; a second call brings it forward.
    HWND createForm(HWND owner, const wchar_t* caption, int x, int y, int width, int height, DWORD style, DWORD exStyle,
                    const wchar_t* iconResource = nullptr);
    HWND createControl(const ControlSpec& spec);
    ControlRecord& addLabel(const wchar_t* name, int id, const wchar_t* caption, int x, int y, int width, int height,
                            UINT drawFlags, const wchar_t* font);
    // Posts the after-creation notice.
    void postAfterCreation();

    // Shows the form; a modal form disables its owner and runs a message loop
    // until the form's window is gone.
    int showForm(bool modal, HWND owner, int showCommand = SW_SHOW);
    void closeForm();
    void bringFormForward();

    ControlRecord* formRecord() { return record_.get(); }
    const std::vector<std::unique_ptr<ControlRecord>>& labels() const { return labels_; }
    ControlRecord* label(int id);
    // The record of a control window of this form.
    static ControlRecord* recordOf(HWND control) { return controlRegistry().find(control); }
    static Form* fromWindow(HWND window);

    void setControlFont(HWND control, const std::wstring& spec);
    void setMinimumTrackSize(int width, int height) { minWidth_ = width, minHeight_ = height; }

protected:
    // The form's own dispatch; the default hands everything to frameworkMessage.
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Framework behaviour for any message, then DefWindowProcW.
    LRESULT frameworkMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A message to one of the form's controls, before its own procedure;
    // return true to swallow it.
    virtual bool onControlMessage(ControlRecord&, HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }
    virtual void onLoad() {}

    // Moves anchored controls and labels for the current client size.
    void layoutAnchors();
    void paintBackgroundAndLabels(HDC dc);

private:
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK controlProc(HWND, UINT, WPARAM, LPARAM);
    void onDestroy();
    void releaseRecord(ControlRecord& record);
    HWND topOwnerToDisable(HWND owner) const;

    std::wstring formName_;
    std::unique_ptr<FormObject> object_;
    std::unique_ptr<ControlRecord> record_;
    std::vector<std::unique_ptr<ControlRecord>> controls_;
    std::vector<std::unique_ptr<ControlRecord>> labels_;
    DpiScale scale_;
    HWND disabledOwner_ = nullptr;
    int minWidth_ = 0;
    int minHeight_ = 0;
};

// Centres `window` over `reference`, or over the work area when there is none,
// keeping it inside the work area.
void centerWindow(HWND window, HWND reference);

// A message box with the program's (empty) caption.
int messageBox(HWND owner, const std::wstring& text, UINT type);

}  // namespace corvane
