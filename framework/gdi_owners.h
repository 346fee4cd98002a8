#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

namespace corvane::gdi {

// Every handle made through these owners is counted while it lives. The
// system's own GDI object count cannot be read everywhere (Wine answers 0),
// so this count is how painting code proves that it frees what it makes.
inline std::atomic<int>& liveCount() {
    static std::atomic<int> count{0};
    return count;
}

// Every handle ever made through them, so a check of the live count can
// tell that something was drawn at all.
inline std::atomic<int>& createdCount() {
    static std::atomic<int> count{0};
    return count;
}

// The handle most recently freed by an owner, so a caller can confirm with
// GetObjectType that the system no longer knows it.
inline std::atomic<HGDIOBJ>& lastFreed() {
    static std::atomic<HGDIOBJ> handle{nullptr};
    return handle;
}

// Sole owner of one handle, counted while it lives; `Free` gives it back to
// the system. Movable, never copied.
template <typename Handle, typename Free>
class Owner {
public:
    Owner() = default;
    explicit Owner(Handle handle) { adopt(handle); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)), free_(std::move(other.free_)) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
            free_ = std::move(other.free_);
        }
        return *this;
    }
    ~Owner() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up, uncounted, to a new owner such as SetWindowRgn.
    Handle release() {
        if (handle_) --liveCount();
        return std::exchange(handle_, nullptr);
    }
    void reset(Handle handle = nullptr) {
        if (handle_) {
            free_(handle_);
            --liveCount();
        }
        handle_ = nullptr;
        adopt(handle);
    }

protected:
    Owner(Handle handle, Free free) : free_(std::move(free)) { adopt(handle); }

private:
    void adopt(Handle handle) {
        handle_ = handle;
        if (!handle_) return;
        ++liveCount();
        ++createdCount();
    }

    Handle handle_ = nullptr;
    Free free_{};
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const {
        DeleteObject(object);
        lastFreed() = object;
    }
};

// Pens, brushes, bitmaps, regions and fonts: freed by DeleteObject.
template <typename Handle>
using Object = Owner<Handle, DeleteGdiObject>;
using Pen = Object<HPEN>;
using Brush = Object<HBRUSH>;
using Bitmap = Object<HBITMAP>;
using Region = Object<HRGN>;
using Font = Object<HFONT>;

struct DeleteDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};

// A memory device context from CreateCompatibleDC.
class MemoryDc : public Owner<HDC, DeleteDc> {
public:
    MemoryDc() = default;
    explicit MemoryDc(HDC compatibleWith) : Owner(CreateCompatibleDC(compatibleWith)) {}
};

struct ReleaseWindowDc {
    HWND window = nullptr;
    void operator()(HDC dc) const { ReleaseDC(window, dc); }
};

// A window's device context from GetDC.
class WindowDc : public Owner<HDC, ReleaseWindowDc> {
public:
    WindowDc() = default;
    explicit WindowDc(HWND window) : Owner(window ? GetDC(window) : nullptr, ReleaseWindowDc{window}) {}
};

// Selects an object into a device context and puts the previous one back on
// leaving, so that no owner deletes an object a DC still holds.
class Selection {
public:
    Selection() = default;
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {
        if (!previous_) dc_ = nullptr;
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    Selection(Selection&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
    Selection& operator=(Selection&& other) noexcept {
        if (this != &other) {
            restore();
            dc_ = std::exchange(other.dc_, nullptr);
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }
    ~Selection() { restore(); }

private:
    void restore() {
        if (dc_ && previous_) SelectObject(dc_, previous_);
        dc_ = nullptr;
        previous_ = nullptr;
    }

    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace corvane::gdi
