#pragma once

// The pointer dialog's decisions, apart from its window so that they can be
// tested without one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pointers/pointer_scan.h"

namespace corvane {

// The module choice's first item: every module's image holds statics.
inline constexpr const wchar_t* kAllModules = L"全部模块";

// The dialog's boxes as typed (code page 936 texts); `module` empty for 全部模块.
struct PointerDialogInputs {
    std::string address;
    std::string depth;
    std::string maxOffset;
    std::string minOffset;
    std::string module;
    std::string lastOffsets;  // "2C" or "18,2C"; empty for every path
};

// The scan the boxes ask for, or why there is none: `refusal` is then the
// message to show.
struct PointerScanRequest {
    PointerScanSettings settings;
    const wchar_t* refusal = nullptr;
};
PointerScanRequest pointerScanRequest(const PointerDialogInputs& inputs);

// What 使用 puts into Text结构: the path as a structure, walked by 首次搜索
// to the value.
std::string structureTextOfPath(const PointerPath& path);

// The count above the list: "路径：N", "路径：N（共 M）", or "（至少 M）" when
// the scan stopped at its limit, "（已停止）" when it was stopped.
std::wstring pathCountText(std::size_t shown, const PointerScanReport* report);

// The paths the dialog keeps at most; the rest are counted.
inline constexpr std::uint64_t kDialogPathLimit = 1000000;

}  // namespace corvane
