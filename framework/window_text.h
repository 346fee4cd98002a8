#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The program's texts are code page 936 bytes; windows speak UTF-16.
std::wstring widen(std::string_view gbk);
std::string narrow(std::wstring_view wide);

}  // namespace corvane
