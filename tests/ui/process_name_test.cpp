#include "ui/process_name.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace corvane {
namespace {

std::wstring ownExeFileName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path);
    const auto slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

TEST(ProcessExeName, NamesTheCurrentProcess) {
    const std::string name = processExeName(GetCurrentProcessId());
    ASSERT_FALSE(name.empty());
    // The test's own name is plain ASCII, so the text spells it byte for byte.
    const std::wstring expected = ownExeFileName();
    EXPECT_EQ(name, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(name.find('\\'), std::string::npos) << "a file name, not a path";
}

TEST(ProcessExeName, UnknownProcessGivesEmptyText) {
    // Process ids are multiples of four; this one cannot be taken.
    EXPECT_EQ(processExeName(0xFFFFFFFDu), "");
}

TEST(ProcessTextToGbk, PlainAsciiPassesThrough) {
    EXPECT_EQ(processTextToGbk(L"tool.exe"), "tool.exe");
    EXPECT_EQ(processTextToGbk(L""), "");
}

TEST(ProcessTextToGbk, StopsAtTheFirstZero) {
    const wchar_t entry[] = {L'a', L'.', L'e', L'x', L'e', L'\0', L'j', L'u', L'n', L'k'};
    EXPECT_EQ(processTextToGbk(std::wstring_view(entry, std::size(entry))), "a.exe");
}

// Code page 936 whatever the system's own: these cases run once under the
// usual 936 and once more under a Western code page (ui_tests.cmake).
TEST(ProcessTextToGbk, RunsUnderTheCodePageTheRunAskedFor) {
    const char* locale = std::getenv("CORVANE_WINE_LOCALE");
    if (locale == nullptr) GTEST_SKIP() << "the usual run, code page " << GetACP();
    EXPECT_NE(GetACP(), 936u) << locale;
}

TEST(ProcessTextToGbk, ConvertibleTextBecomesGbk) { EXPECT_EQ(processTextToGbk(L"你好.exe"), "\xC4\xE3\xBA\xC3.exe"); }

TEST(ProcessTextToGbk, OneUnconvertibleCharacterMarksEveryNonAsciiOne) {
    struct Case {
        const wchar_t* text;
        const char* ansi;
    };
    const Case cases[] = {
        // Thai has no GBK code: it and the convertible Chinese both become "?".
        {L"\u0E01\u4F60a.exe", "??a.exe"},
        // Latin-1 letters have GBK codes of their own: never the ANSI bytes
        // of a Western system.
        {L"caf\u00E9.exe", "caf\xA8\xA6.exe"},
        {L"\u4F60\u0E01", "??"},
        // A character outside the BMP is one character, one "?".
        {L"\U0001F600\u4F60.exe", "??.exe"},
        // A lone surrogate cannot be converted either.
        {L"x\xD800y", "x?y"},
    };
    for (const Case& c : cases) EXPECT_EQ(processTextToGbk(c.text), c.ansi) << c.ansi;
}

}  // namespace
}  // namespace corvane
