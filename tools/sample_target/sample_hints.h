#pragma once

// What a newcomer types into Corvane to find the sample target's values, in
// the structure text that Corvane's structure field takes.

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "tools/sample_target/sample_layout.h"

namespace corvane::sample {

// The window's health field lives in object 0 only, in bytes the layout leaves
// unused, so that searches written against the layout find what they did.
inline constexpr unsigned kHealthOffset = 0x30;
inline constexpr std::int32_t kFullHealth = 100;
static_assert(kHealthOffset >= kInt64Offset + sizeof(std::uint64_t) && kHealthOffset + 4 <= kAnsiOffset,
              "health must sit in the free bytes between the 64-bit field and the texts");

// Uppercase hexadecimal without prefix or leading zeros, as Corvane writes offsets.
inline std::wstring hexText(std::uint64_t value) {
    wchar_t text[17] = {};
    std::swprintf(text, 17, L"%llX", static_cast<unsigned long long>(value));
    return text;
}

// The first structure row: every slot of the root table, one pointer apart.
inline std::wstring rootRowText(const Places& places, unsigned pointerWidth) {
    return hexText(places.root) + L"*" + std::to_wstring(kRootSlots) + L"*" + std::to_wstring(pointerWidth) + L"]";
}

// Through each root slot to the field at `offset` of the object it points at.
inline std::wstring objectFieldText(const Places& places, unsigned pointerWidth, unsigned offset) {
    return rootRowText(places, pointerWidth) + hexText(offset) + L"]";
}

// Through the table in the program's image to the id of each object it points at.
inline std::wstring moduleTableText(const std::wstring& module, std::uint64_t tableOffset, unsigned pointerWidth) {
    return module + L"+" + hexText(tableOffset) + L"*" + std::to_wstring(kModuleSlots) + L"*" +
           std::to_wstring(pointerWidth) + L"]0]";
}

struct SearchHint {
    std::wstring typeName;       // the value type to choose in Corvane
    std::wstring structureText;  // what to type into the structure field
    std::wstring finds;          // what the first search lists
};

inline std::vector<SearchHint> searchHints(const Places& places, unsigned pointerWidth) {
    const auto field = [&](unsigned offset) { return objectFieldText(places, pointerWidth, offset); };
    // The data pointer is read as one more level, then the array's longs one by one.
    const std::wstring dataArray = field(kDataPointerOffset) + L"0*" + std::to_wstring(kDataCount) + L"*4]";
    const std::wstring lastData = std::to_wstring(dataValue(0, kDataCount - 1));
    return {
        {L"长整型", field(kIdOffset), L"每个对象的编号：1000、1001、1002"},
        {L"长整型", field(kHealthOffset), L"对象 0 的生命（初始 " + std::to_wstring(kFullHealth) + L"）"},
        {L"长整型", dataArray,
         L"数据数组：" + std::to_wstring(dataValue(0, 0)) + L"…" + lastData + L" 等，经指针再读一层"},
        {L"单精度", field(kSingleOffset), L"3.75"},
        {L"双精度", field(kDoubleOffset), L"0.1"},
        {L"64位整型", field(kInt64Offset), std::to_wstring(kInt64Value)},
        {L"A字符", field(kAnsiOffset), L"你好ABC（GBK）"},
        {L"U字符", field(kUtf16Offset), L"你好ABC（UTF-16）"},
        {L"UTF-8", field(kUtf8Offset), L"你好ABC（UTF-8）"},
    };
}

}  // namespace corvane::sample
