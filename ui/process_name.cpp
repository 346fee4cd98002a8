#include "ui/process_name.h"

#include <tlhelp32.h>

#include "engine/target/win32/unique_handle.h"

namespace corvane {

namespace {

// The program's texts are code page 936 whatever the system's own is.
constexpr UINT kGbkCodePage = 936;

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string asciiOrQuestionMarks(std::wstring_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit < 0x80) {
            result.push_back(static_cast<char>(unit));
            continue;
        }
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) ++i;
        result.push_back('?');
    }
    return result;
}

}  // namespace

std::string processTextToGbk(std::wstring_view text) {
    const std::size_t zero = text.find(L'\0');
    if (zero != std::wstring_view::npos) text = text.substr(0, zero);
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    // Without WC_NO_BEST_FIT_CHARS a character would silently turn into a
    // look-alike and the lossy conversion would go unnoticed.
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return asciiOrQuestionMarks(text);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, result.data(), size, nullptr,
                        &usedDefault);
    if (usedDefault) return asciiOrQuestionMarks(text);
    return result;
}

std::string processExeName(DWORD pid) {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == pid)
            return processTextToGbk(std::wstring_view(entry.szExeFile, std::size(entry.szExeFile)));
    }
    return {};
}

}  // namespace corvane
