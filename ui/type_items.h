#pragma once

// The items of the type selector, in the order of ValueType: what the
// window calls each kind of value wherever it names one.
inline constexpr const wchar_t* kTypeItems[] = {L"字节",   L"短整型", L"长整型", L"64位整型", L"单精度",
                                                L"双精度", L"A字符",  L"U字符",  L"UTF-8"};
