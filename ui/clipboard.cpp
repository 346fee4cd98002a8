#include "ui/clipboard.h"

#include <windows.h>

#include <cstring>

namespace corvane {
namespace {

constexpr DWORD kPauseMs = 15;

// A block holding `bytes` and a terminator of `terminatorSize` bytes, or none.
HGLOBAL blockOf(const void* bytes, std::size_t size, std::size_t terminatorSize) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size + terminatorSize);
    if (block == nullptr) return nullptr;
    Sleep(kPauseMs);
    void* target = GlobalLock(block);
    if (target == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    std::memset(static_cast<char*>(target) + size, 0, terminatorSize);
    GlobalUnlock(block);
    return block;
}

// The clipboard owns a block once SetClipboardData took it; any other is freed.
void putBlocks(HGLOBAL ansi, HGLOBAL wide) {
    if (!OpenClipboard(nullptr)) {
        if (ansi != nullptr) GlobalFree(ansi);
        if (wide != nullptr) GlobalFree(wide);
        return;
    }
    Sleep(kPauseMs);
    EmptyClipboard();
    Sleep(kPauseMs);
    if (ansi != nullptr && SetClipboardData(CF_TEXT, ansi) == nullptr) GlobalFree(ansi);
    if (wide != nullptr && SetClipboardData(CF_UNICODETEXT, wide) == nullptr) GlobalFree(wide);
    Sleep(kPauseMs);
    CloseClipboard();
}

}  // namespace

void copyTextToClipboard(std::string_view text) {
    if (text.empty()) return;
    HGLOBAL block = blockOf(text.data(), text.size(), 1);
    if (block != nullptr) putBlocks(block, nullptr);
}

void copyTextsToClipboard(std::string_view ansi, std::wstring_view wide) {
    if (ansi.empty() && wide.empty()) return;
    HGLOBAL ansiBlock = blockOf(ansi.data(), ansi.size(), 1);
    HGLOBAL wideBlock = blockOf(wide.data(), wide.size() * sizeof(wchar_t), sizeof(wchar_t));
    if (ansiBlock == nullptr || wideBlock == nullptr) {
        if (ansiBlock != nullptr) GlobalFree(ansiBlock);
        if (wideBlock != nullptr) GlobalFree(wideBlock);
        return;
    }
    putBlocks(ansiBlock, wideBlock);
}

}  // namespace corvane
