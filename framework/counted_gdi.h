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

inline void counted() {
    ++liveCount();
    ++createdCount();
}

// The handle most recently freed by an owner, so a caller can confirm with
// GetObjectType that the system no longer knows it.
inline std::atomic<HGDIOBJ>& lastFreed() {
    static std::atomic<HGDIOBJ> handle{nullptr};
    return handle;
}

// Sole owner of a GDI object (pen, brush, bitmap, region, font) freed by DeleteObject.
template <typename Handle>
class Object {
public:
    Object() = default;
    explicit Object(Handle handle) : handle_(handle) {
        if (handle_) counted();
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    Object(Object&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Object& operator=(Object&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~Object() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up, uncounted, to a new owner such as SetWindowRgn.
    Handle release() {
        if (handle_) --liveCount();
        return std::exchange(handle_, nullptr);
    }
    void reset() {
        if (!handle_) return;
        DeleteObject(handle_);
        lastFreed() = handle_;
        --liveCount();
        handle_ = nullptr;
    }

private:
    Handle handle_ = nullptr;
};

using Pen = Object<HPEN>;
using Brush = Object<HBRUSH>;
using Bitmap = Object<HBITMAP>;
using Region = Object<HRGN>;

// Sole owner of a memory device context from CreateCompatibleDC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {
        if (dc_) counted();
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (!dc_) return;
        DeleteDC(dc_);
        --liveCount();
    }

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_ = nullptr;
};

// Selects an object into a device context and puts the previous one back on
// leaving, so that no owner deletes an object a DC still holds.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace corvane::gdi
