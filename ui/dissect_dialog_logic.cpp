#include "ui/dissect_dialog_logic.h"

#include <algorithm>

#include "engine/text/hex_text.h"
#include "framework/window_text.h"

namespace corvane {

DissectRange dissectRange(const std::string& start, const std::string& size) {
    DissectRange range;
    if (!parseSignedHex(start, range.start)) {
        range.refusal = L"起始偏移应是十六进制数！";
        return range;
    }
    std::uint64_t bytes = 0;
    if (!parseAddressHex(size, bytes) || bytes == 0 || bytes > static_cast<std::uint64_t>(DissectView::kMaxSize)) {
        range.refusal = L"大小应是 1 到 10000 的十六进制数！";
        return range;
    }
    range.size = static_cast<std::int64_t>(bytes);
    return range;
}

const wchar_t* addressRefusal(PathProblem problem) {
    switch (problem) {
        case PathProblem::None: return nullptr;
        case PathProblem::ManyLeaves: return L"这个结构有多个叶子，结构分析只看一个对象！";
        case PathProblem::Malformed: break;
    }
    return L"地址无法读取：请填十六进制地址、路径或结构！";
}

std::optional<std::vector<std::uint64_t>> instanceAddresses(const std::string& text) {
    std::vector<std::uint64_t> addresses;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t begin = text.find_first_not_of(", ", at);
        if (begin == std::string::npos) break;
        const std::size_t end = std::min(text.find_first_of(", ", begin), text.size());
        std::uint64_t address = 0;
        if (!parseAddressHex(text.substr(begin, end - begin), address)) return std::nullopt;
        addresses.push_back(address);
        at = end;
    }
    return addresses;
}

std::vector<Group> groupsOf(const std::wstring& text, std::size_t instances) {
    std::vector<Group> groups(instances, Group::None);
    for (std::size_t i = 0; i < instances && i < text.size(); ++i) {
        const wchar_t letter = text[i];
        groups[i] = letter == L'A' || letter == L'a'   ? Group::A
                    : letter == L'B' || letter == L'b' ? Group::B
                                                       : Group::None;
    }
    return groups;
}

std::vector<std::size_t> shownFields(const DissectView& view, bool onlySeparating) {
    std::vector<std::size_t> fields;
    for (std::size_t field = 0; field < view.fieldCount(); ++field)
        if (!onlySeparating || view.separates(field)) fields.push_back(field);
    return fields;
}

std::wstring fieldCellText(DissectView& view, std::size_t field, int column) {
    if (field >= view.fieldCount()) return {};
    switch (column) {
        case kOffsetColumn: {
            const std::int64_t offset = view.fieldOffset(field);
            std::string text = offset < 0 ? "-" : "";
            appendHex(text, offset < 0 ? 0 - static_cast<std::uint64_t>(offset) : static_cast<std::uint64_t>(offset));
            return widen(text);
        }
        case kBytesColumn: return widen(view.bytesText(field));
        case kKindColumn: return widen(view.kindText(field));
        default: break;
    }
    const auto instance = static_cast<std::size_t>(column - kFirstValueColumn);
    if (instance < view.instances().size()) return widen(view.valueText(field, instance));
    if (instance == view.instances().size()) return view.differs(field) ? L"不同" : L"";
    return {};
}

COLORREF changeMarkColour(double strength) {
    const double s = std::clamp(strength, 0.0, 1.0);
    const auto blue = static_cast<BYTE>(255 - static_cast<int>(s * 160));
    return RGB(255, 255, blue);
}

std::optional<FieldKind> kindOfMenuCommand(UINT command) {
    if (command >= kKindMenuFirst && command < kKindMenuGuess)
        return kindOf(static_cast<ValueType>(command - kKindMenuFirst));
    return std::nullopt;
}

}  // namespace corvane
