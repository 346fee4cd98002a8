#include "ui/pointer_dialog_logic.h"

#include <charconv>

#include "engine/text/hex_text.h"

namespace corvane {

PointerScanRequest pointerScanRequest(const PointerDialogInputs& inputs) {
    PointerScanRequest request;
    PointerScanSettings& settings = request.settings;
    settings.limit = kDialogPathLimit;
    if (!parseAddressHex(inputs.address, settings.address) || settings.address == 0) {
        request.refusal = L"地址应是十六进制数！";
        return request;
    }
    const char* end = inputs.depth.data() + inputs.depth.size();
    const auto [stop, error] = std::from_chars(inputs.depth.data(), end, settings.depth);
    if (error != std::errc() || stop != end || settings.depth < 1 || settings.depth > kMaxPointerDepth) {
        request.refusal = L"深度应是 1 到 10 之间的整数！";
        return request;
    }
    if (!parseSignedHex(inputs.maxOffset, settings.maxOffset) ||
        !parseSignedHex(inputs.minOffset, settings.minOffset)) {
        request.refusal = L"偏移应是十六进制数（负数前加“-”）！";
        return request;
    }
    if (settings.minOffset > settings.maxOffset) {
        request.refusal = L"最小偏移不能大于最大偏移！";
        return request;
    }
    if (!inputs.module.empty()) settings.modules.push_back(inputs.module);
    const std::string& lasts = inputs.lastOffsets;
    for (std::size_t from = 0; !lasts.empty();) {
        const std::size_t comma = lasts.find(',', from);
        std::int64_t offset = 0;
        if (!parseSignedHex(lasts.substr(from, comma == std::string::npos ? std::string::npos : comma - from),
                            offset) ||
            settings.lastOffsets.size() == kMaxPointerDepth) {
            request.refusal = L"末尾偏移应是以逗号分开的十六进制数，如 18,2C！";
            return request;
        }
        settings.lastOffsets.push_back(offset);
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return request;
}

std::string structureTextOfPath(const PointerPath& path) { return pointerPathText(path) + "]"; }

std::wstring pathCountText(std::size_t shown, const PointerScanReport* report) {
    std::wstring text = L"路径：" + std::to_wstring(shown);
    if (report == nullptr) return text;
    if (report->stopped) return text + L"（已停止）";
    if (report->crowded) return text + L"（各次运行共有的路径太多，未找完）";
    if (report->total > shown)
        text += (report->totalIsLowerBound ? L"（至少 " : L"（共 ") + std::to_wstring(report->total) + L"）";
    return text;
}

}  // namespace corvane
