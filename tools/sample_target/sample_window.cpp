#include "tools/sample_target/sample_window.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "tools/sample_target/sample_heap.h"
#include "tools/sample_target/sample_hints.h"

namespace corvane::sample {

namespace {

constexpr wchar_t kClassName[] = L"CorvaneSampleTargetWindow";
constexpr int kHurtButton = 201;
constexpr int kHealButton = 202;
constexpr int kSwitchButton = 203;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 200;
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 376;

using Pointer = std::uintptr_t;

unsigned char* at(std::uint64_t address) {
    return reinterpret_cast<unsigned char*>(static_cast<std::uintptr_t>(address));
}

template <typename T>
T load(std::uint64_t address) {
    T value{};
    std::memcpy(&value, at(address), sizeof value);
    return value;
}

template <typename T>
void store(std::uint64_t address, T value) {
    std::memcpy(at(address), &value, sizeof value);
}

// A zero-terminated text of at most `capacity` code units in the code page given.
std::wstring decodeText(const unsigned char* bytes, std::size_t capacity, UINT codePage) {
    std::size_t length = 0;
    while (length < capacity && bytes[length] != 0) ++length;
    if (length == 0) return {};
    const auto* source = reinterpret_cast<const char*>(bytes);
    const int size = MultiByteToWideChar(codePage, 0, source, static_cast<int>(length), nullptr, 0);
    if (size <= 0) return L"?";
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, source, static_cast<int>(length), text.data(), size);
    return text;
}

std::wstring decodeUtf16(const unsigned char* bytes, std::size_t capacityUnits) {
    std::wstring text;
    for (std::size_t i = 0; i < capacityUnits; ++i) {
        wchar_t unit = 0;
        std::memcpy(&unit, bytes + 2 * i, sizeof unit);
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

std::wstring numberText(double value) {
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%g", value);
    return text;
}

std::wstring hintsText(const Places& places, unsigned pointerWidth) {
    std::wstring text = L"类型\t结构文本\t首次搜索列出";
    for (const SearchHint& hint : searchHints(places, pointerWidth))
        text += L"\r\n" + hint.typeName + L"\t" + hint.structureText + L"\t" + hint.finds;
    // The one hint that still finds its values after a restart names the
    // module as the system has it loaded, whichever of the two builds runs.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring module = path;
    module = module.substr(module.find_last_of(L"\\/") + 1);
    text += L"\r\n长整型\t" + moduleTableText(module, moduleTableOffset(), pointerWidth) +
            L"\t模块内表格指向的对象编号：" + std::to_wstring(moduleObjectId(0)) + L"…" +
            std::to_wstring(moduleObjectId(kModuleSlots - 1)) + L"，重启后仍能找到";
    const std::string gold =
        lastingGoldPath(std::string(module.begin(), module.end()), heapStaticsOffset(), pointerWidth);
    text += L"\r\n长整型\t" + std::wstring(gold.begin(), gold.end()) + L"]\t玩家的金币 " + std::to_wstring(kGold) +
            L"：对象每次启动都在别处，这条路径不变";
    return text;
}

}  // namespace

std::unique_ptr<SampleWindow> SampleWindow::create(const Places& places, unsigned pointerWidth,
                                                   std::mutex& memoryLock) {
    {
        const std::lock_guard<std::mutex> lock(memoryLock);
        store<std::int32_t>(places.objects[0] + kHealthOffset, kFullHealth);
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &SampleWindow::windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    std::unique_ptr<SampleWindow> owner(new SampleWindow(places, pointerWidth, memoryLock));
    const HDC screen = GetDC(nullptr);
    if (screen) {
        owner->scaleX_ = GetDeviceCaps(screen, LOGPIXELSX) / 96.0;
        owner->scaleY_ = GetDeviceCaps(screen, LOGPIXELSY) / 96.0;
        owner->font_.reset(CreateFontW(-MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei"));
        ReleaseDC(nullptr, screen);
    }

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, static_cast<LONG>(kClientWidth * owner->scaleX_),
               static_cast<LONG>(kClientHeight * owner->scaleY_)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const std::wstring title = L"Corvane 示例目标（" + std::to_wstring(pointerWidth * 8) + L" 位，pid " +
                               std::to_wstring(GetCurrentProcessId()) + L"）";
    // The window keeps a pointer to its owner from WM_NCCREATE on.
    const HWND window =
        CreateWindowExW(0, kClassName, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance, owner.get());
    if (!window) return nullptr;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return owner;
}

SampleWindow::SampleWindow(const Places& places, unsigned pointerWidth, std::mutex& memoryLock)
    : places_(places), pointerWidth_(pointerWidth), memoryLock_(memoryLock), random_(std::random_device{}()) {}

SampleWindow::~SampleWindow() {
    if (window_) DestroyWindow(window_);
}

void SampleWindow::runMessageLoop() {
    MSG message{};
    while (window_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab between the buttons and the hint text.
        if (IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK SampleWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<SampleWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SampleWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (...) {
        // An exception must not unwind through the system's dispatcher.
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT SampleWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createChildren();
            refreshValues();
            SetTimer(window_, kRefreshTimer, kRefreshMilliseconds, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kRefreshTimer) refreshValues();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kHurtButton: hurt(); break;
                case kHealButton: heal(); break;
                case kSwitchButton: switchRootObject(); break;
                default: return DefWindowProcW(window_, message, wParam, lParam);
            }
            // Show the change at once rather than on the next tick.
            refreshValues();
            return 0;
        case WM_CTLCOLORSTATIC:
            // The hint text is read-only so that it can be copied; white marks it as text to take.
            if (reinterpret_cast<HWND>(lParam) == hints_) {
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_DESTROY:
            KillTimer(window_, kRefreshTimer);
            PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

HWND SampleWindow::child(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                         int height, int id) {
    const auto scaled = [](int value, double scale) { return static_cast<int>(value * scale + 0.5); };
    const HWND control =
        CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, scaled(x, scaleX_), scaled(y, scaleY_),
                        scaled(width, scaleX_), scaled(height, scaleY_), window_,
                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
    if (control && font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

void SampleWindow::createChildren() {
    child(L"STATIC",
          L"用 Corvane 的拖动图标指向本窗口（或在进程列表中选本进程），把下面的结构文本复制到“结构”框，"
          L"选好类型后点“首次搜索”。",
          SS_LEFT, 12, 10, 616, 38, -1);
    hints_ =
        child(L"EDIT", hintsText(places_, pointerWidth_).c_str(),
              WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 12, 52, 616, 150, -1);
    if (hints_) {
        // In dialog units: the type names, then the structure texts.
        const int tabStops[2] = {40, 150};
        SendMessageW(hints_, EM_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabStops));
        InvalidateRect(hints_, nullptr, TRUE);
    }
    child(L"STATIC", L"当前数值（每 200 毫秒刷新）：", SS_LEFT, 12, 212, 616, 20, -1);
    values_ = child(L"STATIC", L"", SS_LEFT, 12, 234, 616, 96, -1);
    child(L"BUTTON", L"受伤", WS_TABSTOP | BS_PUSHBUTTON, 12, 336, 90, 28, kHurtButton);
    child(L"BUTTON", L"治疗", WS_TABSTOP | BS_PUSHBUTTON, 110, 336, 90, 28, kHealButton);
    child(L"BUTTON", L"切换对象", WS_TABSTOP | BS_PUSHBUTTON, 208, 336, 110, 28, kSwitchButton);
    child(L"STATIC", L"受伤后用“保留减少的数值*”再次搜索；切换后看监视结果里的编号。", SS_LEFT, 330, 336, 298, 36, -1);
}

std::wstring SampleWindow::liveValuesText() {
    std::int32_t ids[3] = {};
    std::int32_t health = 0;
    Pointer slot0 = 0;
    float single = 0;
    double doubleValue = 0;
    unsigned char ansi[kUtf16Offset - kAnsiOffset] = {};
    unsigned char utf16[kUtf8Offset - kUtf16Offset] = {};
    unsigned char utf8[0x40] = {};
    {
        const std::lock_guard<std::mutex> lock(memoryLock_);
        for (unsigned i = 0; i < 3; ++i) ids[i] = load<std::int32_t>(places_.objects[i] + kIdOffset);
        health = load<std::int32_t>(places_.objects[0] + kHealthOffset);
        slot0 = load<Pointer>(places_.root + kObjectSlot[0] * sizeof(Pointer));
        single = load<float>(places_.objects[0] + kSingleOffset);
        doubleValue = load<double>(places_.objects[0] + kDoubleOffset);
        std::memcpy(ansi, at(places_.objects[0] + kAnsiOffset), sizeof ansi);
        std::memcpy(utf16, at(places_.objects[0] + kUtf16Offset), sizeof utf16);
        std::memcpy(utf8, at(places_.objects[0] + kUtf8Offset), sizeof utf8);
    }

    std::wstring slotTarget = L"不是对象";
    for (unsigned i = 0; i < 3; ++i)
        if (slot0 == places_.objects[i]) slotTarget = L"对象 " + std::to_wstring(i);

    std::wstring text;
    text += L"编号（长整型）：对象 0 = " + std::to_wstring(ids[0]) + L"，对象 1 = " + std::to_wstring(ids[1]) +
            L"，对象 2 = " + std::to_wstring(ids[2]) + L"\r\n";
    text += L"生命（长整型，对象 0 的 +" + hexText(kHealthOffset) + L"）：" + std::to_wstring(health) + L"\r\n";
    text += L"根表槽 0（" + hexText(places_.root) + L"）指向 " + hexText(slot0) + L"（" + slotTarget + L"）\r\n";
    text += L"单精度：" + numberText(single) + L"　双精度：" + numberText(doubleValue) + L"\r\n";
    text += L"A字符：" + decodeText(ansi, sizeof ansi, 936) + L"　U字符：" + decodeUtf16(utf16, sizeof utf16 / 2) +
            L"　UTF-8：" + decodeText(utf8, sizeof utf8, CP_UTF8);
    return text;
}

void SampleWindow::refreshValues() {
    if (!values_) return;
    std::wstring text = liveValuesText();
    // Rewriting an unchanged static would make it flicker five times a second.
    if (text == shownValues_) return;
    SetWindowTextW(values_, text.c_str());
    shownValues_ = std::move(text);
}

void SampleWindow::hurt() {
    std::uniform_int_distribution<std::int32_t> damage(1, 20);
    const std::int32_t amount = damage(random_);
    const std::lock_guard<std::mutex> lock(memoryLock_);
    const std::uint64_t address = places_.objects[0] + kHealthOffset;
    const std::int32_t health = load<std::int32_t>(address);
    store<std::int32_t>(address, health > amount ? health - amount : 0);
}

void SampleWindow::heal() {
    const std::lock_guard<std::mutex> lock(memoryLock_);
    store<std::int32_t>(places_.objects[0] + kHealthOffset, kFullHealth);
}

void SampleWindow::switchRootObject() {
    const std::lock_guard<std::mutex> lock(memoryLock_);
    // Between objects 0 and 1: a search through slot 0 then finds the other id.
    const Pointer current = load<Pointer>(places_.root + kObjectSlot[0] * sizeof(Pointer));
    const std::uint64_t next = current == places_.objects[0] ? places_.objects[1] : places_.objects[0];
    store<Pointer>(places_.root + kObjectSlot[0] * sizeof(Pointer), static_cast<Pointer>(next));
}

}  // namespace corvane::sample
