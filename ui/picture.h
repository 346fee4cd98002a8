#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace Gdiplus {
class Image;
}

namespace corvane {

// GDI+ for the program's lifetime: started before the first window, shut down
// after the last.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool started() const { return token_ != 0; }

private:
    ULONG_PTR token_ = 0;
};

// A PNG picture carried in the executable as an RCDATA resource.
class Picture {
public:
    Picture();
    ~Picture();
    Picture(Picture&&) noexcept;
    Picture& operator=(Picture&&) noexcept;

    bool load(HINSTANCE instance, const wchar_t* resourceName);
    bool loaded() const { return image_ != nullptr; }
    void draw(HDC dc, const RECT& box) const;

private:
    std::unique_ptr<Gdiplus::Image> image_;
    std::uintptr_t stream_ = 0;  // the IStream the image reads from, released with it
};

}  // namespace corvane
