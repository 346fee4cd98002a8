#include "engine/target/system_error_text.h"

#include <windows.h>

namespace corvane {

std::string systemErrorText(std::uint32_t error) {
    // OpenProcess says "the parameter is incorrect" for a process id that
    // names no process; FormatMessage would answer in the system's language.
    switch (error) {
        case ERROR_INVALID_PARAMETER: return "no such process";
        case ERROR_ACCESS_DENIED: return "permission denied";
        case ERROR_PARTIAL_COPY:
        case ERROR_NOACCESS: return "the memory cannot be read";
        default: break;
    }
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&text), 0, nullptr);
    std::string said = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.' || said.back() == ' '))
        said.pop_back();
    return said.empty() ? "system error " + std::to_string(error) : said;
}

}  // namespace corvane
