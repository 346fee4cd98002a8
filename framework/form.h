#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "framework/control_record.h"
#include "framework/controls.h"
#include "framework/scaling.h"

namespace corvane {

// The message a form posts to itself once it is created; its load handler
// runs when the message loop picks it up, with the form on screen. The
// framework's messages sit at the top of the private range, so that the forms
// number their own from WM_APP + 1 upward and controls' messages never meet
// them.
inline constexpr UINT kAfterCreationMessage = WM_APP + 0x3F00;
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

// The type name of a label that the form draws itself: no window, a record
// chained to the form's. Its `style` holds the DrawText flags.
inline constexpr const wchar_t* kWindowlessLabel = L"";

// One control of a form as its creator declares it: a row of the form's
// control table, in creation order (which is also z-order and tab order).
struct ControlSpec {
    Window* slot;  // where the created window goes; none for labels
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

// What a form's creator declares about its window.
struct FormDesign {
    const wchar_t* caption;
    int width, height;  // 96-dpi units
    DWORD style;
    DWORD exStyle;
    const wchar_t* iconResource;
    bool centreOverOwner;  // else over the work area
    // width and height are the client area's, whatever the frame and caption
    // take (they differ between systems and with the dpi); a resizable form
    // is then never made smaller than that.
    bool clientSized = false;
};

// The shared machinery of every form: window class, creation of controls by
// type name with dpi scaling, fonts, colours, anchors, windowless labels, the
// modal loop and closing. A form type declares its design and control table
// and overrides the onXxx handlers it needs; messages reach it already
// cracked. The form object is bound to its window at WM_NCCREATE, so every
// message of the window's life reaches it.
class Form {
public:
    explicit Form(std::wstring formName);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return object_ ? object_->hwnd : nullptr; }
    bool isOpen() const { return hwnd() != nullptr; }
    const DpiScale& scale() const { return scale_; }
    // The form is laid out at this scale instead of the screen's the next
    // time it opens: shows at any dpi on any screen, for tests.
    void setScaleOverride(std::optional<DpiScale> scale) { scaleOverride_ = scale; }
    const std::wstring& formName() const { return formName_; }

    // The form's window with its controls, centred, its load handler posted.
    // A form that is open already comes forward instead; false when the
    // window cannot be created.
    bool open(HWND owner, const FormDesign& design, std::span<const ControlSpec> controls);

    // Shows the form; a modal form disables its owner and runs a message loop
    // until the form's window is gone.
    int showForm(bool modal, HWND owner, int showCommand = SW_SHOW);
    void closeForm();
    void bringFormForward();

    ControlRecord* formRecord() { return record_.get(); }
    ControlRecord* label(int id);
    // The record a control window of a form carries; none for other windows.
    static ControlRecord* recordOf(HWND control);
    static Form* fromWindow(HWND window);
    // Every GDI object the form's records hold now; each is released when
    // the window goes.
    std::vector<HGDIOBJ> heldGdiObjects() const;

    void setControlFont(HWND control, const std::wstring& spec);
    void setControlBackground(HWND control, ColorSpec colour);
    void setMinimumTrackSize(int width, int height) { minWidth_ = width, minHeight_ = height; }
    // Device pixels of a rectangle given in 96-dpi units.
    RECT deviceRect(const Geometry& geometry) const;

protected:
    // The form's own dispatch; the default hands everything to frameworkMessage.
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Cracks the message into the onXxx handlers, offers it to
    // onAfterHandlers, then gives framework behaviour and DefWindowProcW.
    LRESULT frameworkMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Handlers, with their arguments unpacked. The close path of every form:
    // IDCANCEL (Esc in a dialog) closes it.
    virtual void onCommand(int id, int code, HWND control);
    virtual LRESULT onNotify(NMHDR& header);
    virtual void onTimer(UINT_PTR) {}
    virtual void onLeftButtonDown(POINT) {}
    // After the background and the labels are painted.
    virtual void onPaint(HDC) {}
    // Before the anchored controls move.
    virtual void onResized() {}
    // The form's scale has changed from `previous` (the window went to a
    // screen of another dpi) and its controls are laid out and given their
    // fonts anew; what the form sized itself in device pixels is its own to
    // redo here, before the anchors are applied once more.
    virtual void onScaleChanged(const DpiScale& /*previous*/) {}
    virtual void onLoad() {}
    // WM_DESTROY: the controls still exist.
    virtual void onDestroy() {}
    // Every message, after the handlers above; true with `result` answers it.
    virtual bool onAfterHandlers(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
    // A message to one of the form's controls, before its own procedure;
    // return true to swallow it.
    virtual bool onControlMessage(ControlRecord&, HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }

    // Moves anchored controls and labels for the current client size; with
    // `everyControl` the others too, to their 96-dpi places at the current scale.
    void layoutAnchors(bool everyControl = false);

private:
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK controlProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void onDpiChanged(int dpi, const RECT& suggested);
    void forgetControl(const ControlRecord* record);
    HWND createForm(HWND owner, const FormDesign& design);
    void fitClientArea(HWND window, const FormDesign& design);
    HWND createControl(const ControlSpec& spec);
    void addLabel(const ControlSpec& spec);
    void postAfterCreation();
    bool crackMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void paintBackgroundAndLabels(HDC dc);
    void onFinalMessage();
    HWND topOwnerToDisable(HWND owner) const;

    std::wstring formName_;
    std::unique_ptr<FormObject> object_;
    // The form's and its labels' records live until the form's last
    // message; a control's until its own.
    std::unique_ptr<ControlRecord> record_;
    std::vector<std::unique_ptr<ControlRecord>> controls_;
    std::vector<std::unique_ptr<ControlRecord>> labels_;
    // The creator's slots, emptied when the window goes.
    std::vector<Window*> slots_;
    DpiScale scale_;
    std::optional<DpiScale> scaleOverride_;
    HWND disabledOwner_ = nullptr;
    int defaultButton_ = 0;
    int minWidth_ = 0;
    int minHeight_ = 0;
};

// A dialog: built by its own table and shown modally over an owner.
class ModalDialog : public Form {
public:
    using Form::Form;
    // The dialog's window, not yet shown; an open dialog comes forward.
    bool create(HWND owner);
    // create, then run modally until the dialog closes.
    void showModal(HWND owner);

protected:
    // Builds the window and its controls; runs only while the dialog is closed.
    virtual bool build(HWND owner) = 0;
    // The control that has the focus when the dialog shows.
    virtual HWND firstFocus() const = 0;
};

// Centres `window` over `reference`, or over the work area when there is none,
// keeping it inside the work area.
void centerWindow(HWND window, HWND reference);

// Runs the window messages that are waiting, so that a long loop on the
// window thread keeps its windows responsive; dialog keys still go to the
// active window's dialog handling.
void pumpPendingMessages();

// A message box with the program's (empty) caption.
int messageBox(HWND owner, const std::wstring& text, UINT type);

}  // namespace corvane
