#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Puts a code page 936 text on the clipboard as CF_TEXT, with the short
// pauses some clipboard viewers need between the steps. An empty text, a
// block that cannot be had or a clipboard that cannot be opened copies
// nothing and says nothing.
void copyTextToClipboard(std::string_view text);

// The same text in both forms: CF_UNICODETEXT keeps what code page 936
// cannot spell, CF_TEXT serves programs that read only that.
void copyTextsToClipboard(std::string_view ansi, std::wstring_view wide);

}  // namespace corvane
