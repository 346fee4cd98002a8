#include "ui/picture.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

namespace corvane {

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

Picture::Picture() = default;

Picture::~Picture() {
    image_.reset();
    if (stream_ != 0) reinterpret_cast<IStream*>(stream_)->Release();
}

Picture::Picture(Picture&& other) noexcept : image_(std::move(other.image_)), stream_(other.stream_) {
    other.stream_ = 0;
}

Picture& Picture::operator=(Picture&& other) noexcept {
    if (this != &other) {
        image_.reset();
        if (stream_ != 0) reinterpret_cast<IStream*>(stream_)->Release();
        image_ = std::move(other.image_);
        stream_ = other.stream_;
        other.stream_ = 0;
    }
    return *this;
}

bool Picture::load(HINSTANCE instance, const wchar_t* resourceName) {
    HRSRC resource = FindResourceW(instance, resourceName, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (resource == nullptr) return false;
    const DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return false;
    // GDI+ reads the stream for as long as the image lives, so it gets a copy of its own.
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr) return false;
    std::memcpy(GlobalLock(copy), bytes, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(copy, TRUE, &stream) != S_OK) {
        GlobalFree(copy);
        return false;
    }
    auto image = std::make_unique<Gdiplus::Image>(stream);
    if (image->GetLastStatus() != Gdiplus::Ok) {
        image.reset();
        stream->Release();
        return false;
    }
    image_.reset();
    if (stream_ != 0) reinterpret_cast<IStream*>(stream_)->Release();
    image_ = std::move(image);
    stream_ = reinterpret_cast<std::uintptr_t>(stream);
    return true;
}

void Picture::draw(HDC dc, const RECT& box) const {
    if (!image_) return;
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(image_.get(), static_cast<INT>(box.left), static_cast<INT>(box.top),
                       static_cast<INT>(box.right - box.left), static_cast<INT>(box.bottom - box.top));
}

}  // namespace corvane
