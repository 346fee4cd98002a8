#pragma once

#include <cstdint>
#include <cwchar>
#include <string>

namespace corvane {

// What a window says when the chosen process cannot be opened.
inline std::wstring openFailedText(std::uint32_t error) {
    wchar_t message[160];
    std::swprintf(message, 160, L"无法打开目标进程（错误代码 %lu）。请确认进程仍在运行，并以管理员身份运行本程序。",
                  static_cast<unsigned long>(error));
    return message;
}

}  // namespace corvane
