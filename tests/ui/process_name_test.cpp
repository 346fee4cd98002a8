#include "ui/process_name.h"

#include <gtest/gtest.h>

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
    // The test's own name is plain ASCII, so the ANSI text spells it byte for byte.
    const std::wstring expected = ownExeFileName();
    EXPECT_EQ(name, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(name.find('\\'), std::string::npos) << "a file name, not a path";
}

TEST(ProcessExeName, UnknownProcessGivesEmptyText) {
    // Process ids are multiples of four; this one cannot be taken.
    EXPECT_EQ(processExeName(0xFFFFFFFDu), "");
}

TEST(ProcessTextToAnsi, PlainAsciiPassesThrough) {
    EXPECT_EQ(processTextToAnsi(L"tool.exe"), "tool.exe");
    EXPECT_EQ(processTextToAnsi(L""), "");
}

TEST(ProcessTextToAnsi, StopsAtTheFirstZero) {
    const wchar_t entry[] = {L'a', L'.', L'e', L'x', L'e', L'\0', L'j', L'u', L'n', L'k'};
    EXPECT_EQ(processTextToAnsi(std::wstring_view(entry, std::size(entry))), "a.exe");
}

// The remaining cases need the Chinese ANSI code page, which the test runner sets.
class ChineseCodePage : public testing::Test {
protected:
    void SetUp() override {
        if (GetACP() != 936) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 936";
    }
};

TEST_F(ChineseCodePage, ConvertibleTextBecomesGbk) {
    EXPECT_EQ(processTextToAnsi(L"你好.exe"), "\xC4\xE3\xBA\xC3.exe");
}

TEST_F(ChineseCodePage, OneUnconvertibleCharacterMarksEveryNonAsciiOne) {
    struct Case {
        const wchar_t* text;
        const char* ansi;
    };
    const Case cases[] = {
        // Thai has no GBK code: it and the convertible Chinese both become "?".
        {L"\u0E01\u4F60a.exe", "??a.exe"},
        {L"\u4F60\u0E01", "??"},
        // A character outside the BMP is one character, one "?".
        {L"\U0001F600\u4F60.exe", "??.exe"},
        // A lone surrogate cannot be converted either.
        {L"x\xD800y", "x?y"},
    };
    for (const Case& c : cases) EXPECT_EQ(processTextToAnsi(c.text), c.ansi) << c.ansi;
}

}  // namespace
}  // namespace corvane
