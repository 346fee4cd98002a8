// The resource object linked into this executable carries every picture the
// program loads by name, at the sizes it asks for, plus its manifest and
// version; checked through the same Win32 and GDI+ calls the program uses.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/resources/resource_names.h"

namespace corvane {
namespace {

namespace names = corvane::resources;

HINSTANCE self() { return GetModuleHandleW(nullptr); }

// The wide forms of the resource types, which follow UNICODE in the headers.
const wchar_t* const kTypeIcon = MAKEINTRESOURCEW(3);
const wchar_t* const kTypeRcData = MAKEINTRESOURCEW(10);
const wchar_t* const kTypeGroupIcon = MAKEINTRESOURCEW(14);
const wchar_t* const kTypeManifest = MAKEINTRESOURCEW(24);

std::string_view resourceBytes(const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(self(), name, type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(self(), found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const char*>(data), SizeofResource(self(), found)};
}

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);

// The image the group icon hands out for an exact size, as stored.
std::string_view iconImageForSize(const wchar_t* group, int size) {
    const std::string_view directory = resourceBytes(group, kTypeGroupIcon);
    if (directory.empty()) return {};
    const int id = LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(const_cast<char*>(directory.data())), TRUE, size,
                                               size, LR_DEFAULTCOLOR);
    return id ? resourceBytes(MAKEINTRESOURCEW(id), kTypeIcon) : std::string_view{};
}

// Width of a stored icon image, whether a DIB or a PNG.
int storedIconWidth(std::string_view image) {
    if (image.substr(0, 8) == kPngSignature) return static_cast<int>(bigEndian32(image, 16));
    if (image.size() < sizeof(BITMAPINFOHEADER)) return 0;
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof header);
    return header.biBitCount == 32 ? header.biWidth : -1;
}

SIZE iconBitmapSize(HICON icon, ICONINFO& info) {
    SIZE size{0, 0};
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bitmap{};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
        size.cx = bitmap.bmWidth;
        size.cy = bitmap.bmHeight;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

void expectIconLoadsAt(const wchar_t* name, int size) {
    SCOPED_TRACE(size);
    EXPECT_EQ(storedIconWidth(iconImageForSize(name, size)), size) << "no 32-bit image of exactly this size";
    auto icon = static_cast<HICON>(LoadImageW(self(), name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    const SIZE loaded = iconBitmapSize(icon, info);
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(loaded.cx, size);
    EXPECT_EQ(loaded.cy, size);
    DestroyIcon(icon);
}

TEST(Resources, AppIconHasEverySize) {
    for (int size : {16, 32, 48}) expectIconLoadsAt(names::kAppIcon, size);
    const std::string_view large = iconImageForSize(names::kAppIcon, 256);
    EXPECT_EQ(large.substr(0, 8), kPngSignature);
    EXPECT_EQ(storedIconWidth(large), 256);
}

TEST(Resources, ProcessIconHasTheDialogSizes) {
    for (int size : {32, 48}) expectIconLoadsAt(names::kProcessIcon, size);
}

TEST(Resources, CursorHasItsHotSpotInTheMiddle) {
    HCURSOR cursor = LoadCursorW(self(), names::kPickerCursor);
    ASSERT_NE(cursor, nullptr);
    ICONINFO info{};
    const SIZE size = iconBitmapSize(cursor, info);
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(info.xHotspot, 16u);
    EXPECT_EQ(info.yHotspot, 16u);

    auto image = static_cast<HCURSOR>(LoadImageW(self(), names::kPickerCursor, IMAGE_CURSOR, 32, 32, LR_DEFAULTCOLOR));
    EXPECT_NE(image, nullptr);
    if (image) DestroyCursor(image);
}

class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_) Gdiplus::GdiplusShutdown(token_);
    }
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

struct Decoded {
    UINT width = 0;
    UINT height = 0;
    Gdiplus::ARGB corner = 0;
    Gdiplus::ARGB centre = 0;
};

// Decodes the picture as the program does: its bytes through a memory stream.
bool decodePicture(std::string_view png, Decoded& out) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
    if (!memory) return false;
    std::memcpy(GlobalLock(memory), png.data(), png.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
        GlobalFree(memory);
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    bool ok = Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok;
    if (ok) {
        ok = Gdiplus::DllExports::GdipGetImageWidth(bitmap, &out.width) == Gdiplus::Ok &&
             Gdiplus::DllExports::GdipGetImageHeight(bitmap, &out.height) == Gdiplus::Ok &&
             Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, 0, 0, &out.corner) == Gdiplus::Ok &&
             Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, 12, 12, &out.centre) == Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    stream->Release();
    return ok;
}

TEST(Resources, PickerPicturesArePngsOfTwentyFourPixels) {
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.ok());
    Decoded rest, dragging;
    for (auto [name, decoded] : {std::pair{names::kPickerRest, &rest}, std::pair{names::kPickerDragging, &dragging}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        const std::string_view png = resourceBytes(name, kTypeRcData);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png.substr(0, 8), kPngSignature);
        EXPECT_EQ(png.substr(12, 4), "IHDR");
        EXPECT_EQ(bigEndian32(png, 16), 24u);
        EXPECT_EQ(bigEndian32(png, 20), 24u);
        ASSERT_TRUE(decodePicture(png, *decoded));
        EXPECT_EQ(decoded->width, 24u);
        EXPECT_EQ(decoded->height, 24u);
        EXPECT_EQ(decoded->corner >> 24, 0u) << "the target stands on a transparent background";
        EXPECT_EQ(decoded->centre >> 24, 255u);
    }
    // At rest the crosshair's bullseye fills the middle; while dragging the
    // middle shows the target's empty face.
    EXPECT_NE(rest.centre, dragging.centre);
}

TEST(Resources, ManifestAsksForAdministratorAndCommonControls6) {
    const std::string_view manifest = resourceBytes(MAKEINTRESOURCEW(1), kTypeManifest);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string_view::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string_view::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string_view::npos);
    EXPECT_EQ(manifest.find("activeCodePage"), std::string_view::npos) << "texts are code page 936, not UTF-8";
}

TEST(Resources, VersionIs2040) {
    wchar_t path[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_NE(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00040000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00040000u);

    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, L"Corvane");
}

}  // namespace
}  // namespace corvane
