#include "framework/window_text.h"

#include <windows.h>

namespace corvane {
namespace {

constexpr UINT kCodePage = 936;

}  // namespace

std::wstring widen(std::string_view gbk) {
    if (gbk.empty()) return {};
    const int length = MultiByteToWideChar(kCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(kCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(kCodePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(kCodePage, 0, wide.data(), static_cast<int>(wide.size()), gbk.data(), length, nullptr, nullptr);
    return gbk;
}

}  // namespace corvane
