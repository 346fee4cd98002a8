#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace corvane {

// The executable file name of a running process, from a fresh process
// snapshot, in code page 936 like every other text of the program; empty
// when no process has that id or the snapshot fails.
std::string processExeName(DWORD pid);

// Wide text up to its first zero in code page 936, whatever the system's
// ANSI code page. When any character has no exact counterpart there, every
// non-ASCII character becomes "?" (a surrogate pair counts as one
// character), so that a name is either exact or plainly marked as lossy.
std::string processTextToGbk(std::wstring_view text);

}  // namespace corvane
