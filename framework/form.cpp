#include "framework/form.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdio>
#include <exception>

#include "framework/control_types.h"
#include "framework/fonts.h"

namespace corvane {
namespace {

// The one subclass the framework puts on its controls.
constexpr UINT_PTR kControlSubclass = 1;

// The import library names three of the four subclass functions; the
// fourth is taken from the common controls by its ordinal.
BOOL getWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR* data) {
    using GetSubclass = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
    static const auto function = reinterpret_cast<GetSubclass>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), MAKEINTRESOURCEA(411))));
    return function != nullptr && function(window, procedure, id, data);
}

ATOM registerFormClass(const std::wstring& className, HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (const ATOM atom = static_cast<ATOM>(GetClassInfoExW(instance, className.c_str(), &existing))) return atom;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = className.c_str();
    return RegisterClassExW(&windowClass);
}

bool processIsDpiAware() {
    using IsAware = BOOL(WINAPI*)();
    const auto isAware = reinterpret_cast<IsAware>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "IsProcessDPIAware")));
    return isAware != nullptr && isAware() != FALSE;
}

void reportException(const char* where) {
    try {
        throw;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", where, error.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unknown exception\n", where);
    }
}

void releaseRecord(ControlRecord& record) {
    if (record.brush != nullptr) DeleteObject(record.brush);
    if (record.tooltip != nullptr) DestroyWindow(record.tooltip);
    if (record.cursor != nullptr) DestroyCursor(record.cursor);
    record.brush = nullptr;
    record.tooltip = nullptr;
    record.cursor = nullptr;
}

}  // namespace

Form::Form(std::wstring formName) : formName_(std::move(formName)) {}

Form::~Form() {
    if (object_ && object_->hwnd && IsWindow(object_->hwnd)) DestroyWindow(object_->hwnd);
}

Form* Form::fromWindow(HWND window) { return reinterpret_cast<Form*>(GetWindowLongPtrW(window, 0)); }

bool Form::open(HWND owner, const FormDesign& design, std::span<const ControlSpec> controls) {
    if (isOpen()) {
        bringFormForward();
        return true;
    }
    HWND window = createForm(owner, design);
    if (window == nullptr) return false;
    centerWindow(window, design.centreOverOwner ? owner : nullptr);
    for (const ControlSpec& spec : controls) {
        if (*spec.type == L'\0') {  // kWindowlessLabel
            addLabel(spec);
            continue;
        }
        HWND control = createControl(spec);
        if (spec.slot != nullptr) {
            spec.slot->attach(control);
            slots_.push_back(spec.slot);
        }
        if ((spec.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
            lstrcmpiW(systemClassFor(spec.type).c_str(), L"Button") == 0)
            defaultButton_ = spec.id;
    }
    postAfterCreation();
    return true;
}

HWND Form::createForm(HWND owner, const FormDesign& design) {
    auto object = std::make_unique<FormObject>();
    object->instance = GetModuleHandleW(nullptr);
    object->className = L"Corvane_x32_x64_" + formName_;
    const bool aware = processIsDpiAware();
    scale_ = scaleOverride_ ? *scaleOverride_ : screenScale(aware);
    object->scale = scale_;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (const auto getVersion = reinterpret_cast<RtlGetVersion>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"))))
        getVersion(&version);
    const bool modern = version.dwMajorVersion * 100 + version.dwMinorVersion >= 600 && aware;
    object->defaultFace = modern ? L"Segoe UI" : L"Tahoma";
    object->defaultSize = modern ? 9 : 8;
    object->defaultFont =
        fontFromSpec(object->defaultFace + L"," + std::to_wstring(object->defaultSize), scale_.dpiX, scale_.dpiY);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0x7FFF};
    InitCommonControlsEx(&controls);
    object->classAtom = registerFormClass(object->className, object->instance, &Form::windowProc);
    object_ = std::move(object);

    record_ = std::make_unique<ControlRecord>();
    record_->name = formName_;
    record_->backColor = kColorButtonFace;
    // The window binds itself to this form at WM_NCCREATE.
    HWND window = CreateWindowExW(design.exStyle, object_->className.c_str(), design.caption, design.style, 0, 0,
                                  scaled(design.width, scale_.x), scaled(design.height, scale_.y), owner, nullptr,
                                  object_->instance, this);
    if (window == nullptr) {
        std::fprintf(stderr, "cannot create the window of %ls (error %lu)\n", formName_.c_str(), GetLastError());
        object_.reset();
        record_.reset();
        return nullptr;
    }
    if (design.clientSized) fitClientArea(window, design);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(object_->defaultFont), FALSE);
    if (design.iconResource != nullptr) {
        const auto large =
            static_cast<HICON>(LoadImageW(object_->instance, design.iconResource, IMAGE_ICON, 48, 48, LR_SHARED));
        const auto small =
            static_cast<HICON>(LoadImageW(object_->instance, design.iconResource, IMAGE_ICON, 32, 32, LR_SHARED));
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
    return window;
}

void Form::fitClientArea(HWND window, const FormDesign& design) {
    // Measured rather than computed: the frame is the system's (or a window
    // manager's) to choose.
    RECT client{};
    RECT outer{};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    const int width = outer.right - outer.left + scaled(design.width, scale_.x) - client.right;
    const int height = outer.bottom - outer.top + scaled(design.height, scale_.y) - client.bottom;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (design.style & WS_THICKFRAME) setMinimumTrackSize(unscaled(width, scale_.x), unscaled(height, scale_.y));
}

HWND Form::createControl(const ControlSpec& spec) {
    const std::wstring systemClass = systemClassFor(spec.type);
    HWND control = CreateWindowExW(spec.exStyle, systemClass.c_str(), spec.caption, spec.style | WS_CHILD,
                                   scaled(spec.x, scale_.x), scaled(spec.y, scale_.y), scaled(spec.width, scale_.x),
                                   scaled(spec.height, scale_.y), hwnd(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), object_->instance, nullptr);
    if (control == nullptr) return nullptr;
    auto record = std::make_unique<ControlRecord>();
    record->owner = hwnd();
    record->name = spec.name;
    record->id = spec.id;
    record->textColor = spec.textColor;
    record->backColor = spec.backColor;
    record->geometry = {spec.x, spec.y, spec.width, spec.height};
    RECT client{};
    GetClientRect(hwnd(), &client);
    record->anchor = spec.anchor;
    record->margins =
        takeMargins(record->geometry, unscaled(client.right, scale_.x), unscaled(client.bottom, scale_.y));
    record->window = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(object_->defaultFont), FALSE);
    SetWindowSubclass(control, &Form::controlProc, kControlSubclass, reinterpret_cast<DWORD_PTR>(record.get()));
    controls_.push_back(std::move(record));
    if (spec.font != nullptr) setControlFont(control, spec.font);
    return control;
}

void Form::addLabel(const ControlSpec& spec) {
    auto record = std::make_unique<ControlRecord>();
    record->owner = hwnd();
    record->name = spec.name;
    record->id = spec.id;
    record->caption = spec.caption != nullptr ? spec.caption : L"";
    record->drawFlags = spec.style;
    record->geometry = {spec.x, spec.y, spec.width, spec.height};
    record->fontSpec = spec.font != nullptr ? spec.font : L"";
    record->textColor = isDefaultColor(spec.textColor) ? kColorWindowText : spec.textColor;
    record->backColor = spec.backColor;
    RECT client{};
    GetClientRect(hwnd(), &client);
    record->anchor = spec.anchor;
    record->margins =
        takeMargins(record->geometry, unscaled(client.right, scale_.x), unscaled(client.bottom, scale_.y));
    labels_.push_back(std::move(record));
}

ControlRecord* Form::label(int id) {
    for (auto& record : labels_)
        if (record->id == id) return record.get();
    return nullptr;
}

std::vector<HGDIOBJ> Form::heldGdiObjects() const {
    std::vector<HGDIOBJ> held;
    auto collect = [&](const ControlRecord& record) {
        if (record.brush != nullptr) held.push_back(record.brush);
    };
    if (record_) collect(*record_);
    for (const auto& record : controls_) collect(*record);
    for (const auto& record : labels_) collect(*record);
    return held;
}

RECT Form::deviceRect(const Geometry& g) const {
    return {scaled(g.left, scale_.x), scaled(g.top, scale_.y), scaled(g.left + g.width, scale_.x),
            scaled(g.top + g.height, scale_.y)};
}

ControlRecord* Form::recordOf(HWND control) {
    DWORD_PTR record = 0;
    if (control == nullptr || !getWindowSubclass(control, &Form::controlProc, kControlSubclass, &record))
        return nullptr;
    return reinterpret_cast<ControlRecord*>(record);
}

void Form::forgetControl(const ControlRecord* record) {
    for (auto it = controls_.begin(); it != controls_.end(); ++it)
        if (it->get() == record) {
            controls_.erase(it);
            return;
        }
}

void Form::setControlFont(HWND control, const std::wstring& spec) {
    if (ControlRecord* record = recordOf(control)) record->fontSpec = spec;
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    const bool isEdit = lstrcmpiW(className, L"Edit") == 0;
    const LRESULT margins = isEdit ? SendMessageW(control, EM_GETMARGINS, 0, 0) : 0;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontFromSpec(spec, scale_.dpiX, scale_.dpiY)), TRUE);
    if (isEdit)
        SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                     MAKELPARAM(LOWORD(margins), HIWORD(margins)));
}

void Form::setControlBackground(HWND control, ColorSpec colour) {
    if (ControlRecord* record = recordOf(control)) record->backColor = colour;
    InvalidateRect(control, nullptr, TRUE);
}

void Form::postAfterCreation() { PostMessageW(hwnd(), kAfterCreationMessage, kAfterCreationParam, 0); }

HWND Form::topOwnerToDisable(HWND owner) const {
    HWND window = owner;
    while (window != nullptr && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0) window = GetParent(window);
    return window;
}

int Form::showForm(bool modal, HWND owner, int showCommand) {
    HWND window = hwnd();
    if (window == nullptr) return 0;
    if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_NOACTIVATE) != 0 && showCommand == SW_SHOW)
        showCommand = SW_SHOWNOACTIVATE;
    if (!modal) {
        ShowWindow(window, showCommand);
        return 0;
    }
    disabledOwner_ = topOwnerToDisable(owner);
    if (disabledOwner_ != nullptr) EnableWindow(disabledOwner_, FALSE);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (IsWindow(window)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) break;
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void Form::closeForm() {
    if (IsWindow(hwnd())) PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void Form::bringFormForward() {
    HWND window = hwnd();
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    FLASHWINFO flash{sizeof flash, window, FLASHW_ALL, 5, 100};
    FlashWindowEx(&flash);
}

void Form::layoutAnchors(bool everyControl) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int width = unscaled(client.right, scale_.x);
    const int height = unscaled(client.bottom, scale_.y);
    HDWP batch = BeginDeferWindowPos(static_cast<int>(controls_.size()));
    for (auto& record : controls_) {
        const bool anchored = record->anchor > kAnchorNone;
        // A control designed without a size (a status bar) places itself.
        const bool designed = record->geometry.width > 0 || record->geometry.height > 0;
        if (!anchored && !(everyControl && designed)) continue;
        HWND control = record->window;
        if (anchored)
            record->geometry = anchoredGeometry(record->anchor, record->geometry, record->margins, width, height);
        RECT box = deviceRect(record->geometry);
        // Back from 96-dpi units a control may round one pixel past an edge
        // it should end at.
        const Geometry& g = record->geometry;
        if (g.left + g.width <= width && box.right > client.right) box.right = client.right;
        if (g.top + g.height <= height && box.bottom > client.bottom) box.bottom = client.bottom;
        if (batch != nullptr)
            batch = DeferWindowPos(batch, control, nullptr, box.left, box.top, box.right - box.left,
                                   box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch != nullptr) EndDeferWindowPos(batch);
    for (auto& record : labels_)
        if (record->anchor > kAnchorNone)
            record->geometry = anchoredGeometry(record->anchor, record->geometry, record->margins, width, height);
}

void Form::onDpiChanged(int dpi, const RECT& suggested) {
    const DpiScale previous = scale_;
    // Square pixels: both factors follow the one dpi, as at creation.
    scale_ = scaleForDpi(dpi, dpi);
    object_->scale = scale_;
    object_->defaultFont =
        fontFromSpec(object_->defaultFace + L"," + std::to_wstring(object_->defaultSize), scale_.dpiX, scale_.dpiY);
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(object_->defaultFont), FALSE);
    for (const auto& record : controls_) {
        if (record->fontSpec.empty())
            SendMessageW(record->window, WM_SETFONT, reinterpret_cast<WPARAM>(object_->defaultFont), TRUE);
        else
            setControlFont(record->window, record->fontSpec);
    }
    // The frame may be the form's own (a caption painter) and is measured
    // again at the new scale.
    SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    layoutAnchors(true);
    onScaleChanged(previous);
    RECT client{};
    GetClientRect(hwnd(), &client);
    // The same size in pixels is another size in 96-dpi units.
    SendMessageW(hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void Form::paintBackgroundAndLabels(HDC dc) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    const COLORREF back = colorFromSpec(record_->backColor, GetSysColor(COLOR_BTNFACE));
    HBRUSH brush = CreateSolidBrush(back);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    for (const auto& label : labels_) {
        if (!label->visible) continue;
        RECT box = deviceRect(label->geometry);
        if (!isDefaultColor(label->backColor)) {
            HBRUSH labelBrush = CreateSolidBrush(colorFromSpec(label->backColor, back));
            FillRect(dc, &box, labelBrush);
            DeleteObject(labelBrush);
        }
        const COLORREF text = colorFromSpec(label->textColor, GetSysColor(COLOR_WINDOWTEXT));
        if (label->frame) {
            HBRUSH frameBrush = CreateSolidBrush(text);
            FrameRect(dc, &box, frameBrush);
            DeleteObject(frameBrush);
        }
        if (label->caption.empty()) continue;
        HGDIOBJ oldFont =
            SelectObject(dc, label->fontSpec.empty() ? object_->defaultFont
                                                     : fontFromSpec(label->fontSpec, scale_.dpiX, scale_.dpiY));
        SetTextColor(dc, text);
        DrawTextW(dc, label->caption.c_str(), -1, &box, label->drawFlags | DT_EXPANDTABS);
        SelectObject(dc, oldFont);
    }
}

void Form::onCommand(int id, int, HWND) {
    if (id == IDCANCEL) closeForm();
}

LRESULT Form::onNotify(NMHDR&) { return 0; }

LRESULT Form::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return frameworkMessage(message, wParam, lParam);
}

bool Form::crackMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND window = hwnd();
    result = 0;
    switch (message) {
        case kAfterCreationMessage: {
            if (wParam != kAfterCreationParam) return false;
            RECT client{};
            GetClientRect(window, &client);
            SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
            onLoad();
            InvalidateRect(window, nullptr, TRUE);
            UpdateWindow(window);
            return true;
        }
        case WM_DPICHANGED: onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return true;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                onResized();
                layoutAnchors();
            }
            return true;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            paintBackgroundAndLabels(dc);
            onPaint(dc);
            EndPaint(window, &paint);
            return true;
        }
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return true;
        case WM_NOTIFY: result = onNotify(*reinterpret_cast<NMHDR*>(lParam)); return true;
        case WM_TIMER: onTimer(wParam); return true;
        case WM_LBUTTONDOWN: onLeftButtonDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return true;
        case WM_DESTROY: onDestroy(); return true;
        default: return false;
    }
}

LRESULT Form::frameworkMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = hwnd();
    LRESULT own = 0;
    const bool handled = crackMessage(message, wParam, lParam, own);
    if (LRESULT after = 0; onAfterHandlers(message, wParam, lParam, after)) return after;
    if (handled) return own;
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case DM_GETDEFID:
            // Enter in a dialog presses its default button.
            if (defaultButton_ != 0) return MAKELRESULT(defaultButton_, DC_HASDEFID);
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN: {
            ControlRecord* control = recordOf(reinterpret_cast<HWND>(lParam));
            if (control == nullptr) break;
            HDC dc = reinterpret_cast<HDC>(wParam);
            if (!isDefaultColor(control->textColor))
                SetTextColor(dc, colorFromSpec(control->textColor, GetSysColor(COLOR_WINDOWTEXT)));
            const COLORREF formBack = colorFromSpec(record_->backColor, GetSysColor(COLOR_BTNFACE));
            const COLORREF back = colorFromSpec(control->backColor, formBack);
            SetBkColor(dc, back);
            if (control->brush != nullptr) DeleteObject(control->brush);
            control->brush = CreateSolidBrush(back);
            return reinterpret_cast<LRESULT>(control->brush);
        }
        case WM_GETMINMAXINFO:
            if (minWidth_ > 0) {
                auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
                info->ptMinTrackSize = {scaled(minWidth_, scale_.x), scaled(minHeight_, scale_.y)};
                return 0;
            }
            break;
        case WM_SETFOCUS:
            if (record_ && record_->lastFocus != nullptr && IsWindow(record_->lastFocus) &&
                GetAncestor(record_->lastFocus, GA_ROOT) == window) {
                SetFocus(record_->lastFocus);
                return 0;
            }
            break;
        case WM_SETCURSOR:
            if (ControlRecord* control = recordOf(reinterpret_cast<HWND>(wParam)); control && control->cursor) {
                SetCursor(control->cursor);
                return TRUE;
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                SendMessageW(window, WM_CLOSE, 0, 0);
                return 0;
            }
            break;
        case WM_CLOSE:
            // The owner takes the activation back before the form goes.
            if (disabledOwner_ != nullptr) EnableWindow(disabledOwner_, TRUE);
            disabledOwner_ = nullptr;
            break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Form::onFinalMessage() {
    // Every control has had its own last message by now and released what
    // it held; what is left is the form's and its labels'.
    for (auto& label : labels_) releaseRecord(*label);
    if (record_) releaseRecord(*record_);
    SetWindowLongPtrW(object_->hwnd, 0, 0);
    // The slots become views of no window: code that runs on after the form
    // closed (a message pump inside a handler) touches nothing.
    for (Window* slot : slots_) slot->attach(nullptr);
    slots_.clear();
    labels_.clear();
    controls_.clear();
    record_.reset();
    object_.reset();
    defaultButton_ = 0;
    disabledOwner_ = nullptr;
}

LRESULT CALLBACK Form::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            if (form != nullptr && form->object_ != nullptr) {
                form->object_->hwnd = window;
                form->record_->owner = window;
                SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(form));
            }
        }
        Form* form = fromWindow(window);
        if (form == nullptr || form->object_ == nullptr || form->object_->hwnd != window)
            return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            const LRESULT result = form->handleMessage(message, wParam, lParam);
            form->onFinalMessage();
            return result;
        }
        return form->handleMessage(message, wParam, lParam);
    } catch (...) {
        reportException("window procedure");
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK Form::controlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* record = reinterpret_cast<ControlRecord*>(data);
    Form* form = fromWindow(record->owner);
    if (form != nullptr && form->object_ == nullptr) form = nullptr;
    if (message == WM_NCDESTROY) {
        // The control's last message: it gives back what it held, and its
        // form lets go of its record, whether or not the form still listens.
        RemoveWindowSubclass(control, &Form::controlProc, kControlSubclass);
        try {
            LRESULT ignored = 0;
            if (form != nullptr) form->onControlMessage(*record, control, message, wParam, lParam, ignored);
        } catch (...) {
            reportException("control procedure");
        }
        releaseRecord(*record);
        if (form != nullptr && form->record_ && form->record_->lastFocus == control) form->record_->lastFocus = nullptr;
        if (form != nullptr) form->forgetControl(record);
        return DefSubclassProc(control, message, wParam, lParam);
    }
    try {
        if (form != nullptr) {
            LRESULT result = 0;
            if (form->onControlMessage(*record, control, message, wParam, lParam, result)) return result;
            if (message == WM_SETFOCUS && form->record_) form->record_->lastFocus = control;
        }
    } catch (...) {
        reportException("control procedure");
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

bool ModalDialog::create(HWND owner) {
    if (isOpen()) {
        bringFormForward();
        return true;
    }
    return build(owner);
}

void ModalDialog::showModal(HWND owner) {
    if (isOpen()) {
        bringFormForward();
        return;
    }
    if (!build(owner)) return;
    SetFocus(firstFocus());
    showForm(true, owner);
}

void centerWindow(HWND window, HWND reference) {
    RECT area{};
    if (reference != nullptr) GetWindowRect(reference, &area);
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (reference == nullptr) area = work;
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void pumpPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        HWND active = GetActiveWindow();
        if (active != nullptr && IsDialogMessageW(active, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int messageBox(HWND owner, const std::wstring& text, UINT type) { return MessageBoxW(owner, text.c_str(), L"", type); }

}  // namespace corvane
