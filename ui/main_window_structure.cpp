// The structure text and the structure list: each follows the other.

#include <cmath>
#include <cstdio>

#include "engine/search/structure_row.h"
#include "engine/target/module_lookup.h"
#include "engine/values/value_parse.h"
#include "framework/window_text.h"
#include "settings/structure_text.h"
#include "ui/main_window.h"

namespace corvane {
namespace {

enum StructureColumn : int { kStartColumn, kCountColumn, kIncrementColumn };

}  // namespace

std::vector<StructureRowText> Form1::structureRowTexts() const {
    const ListView& list = controls_.ListView结构;
    std::vector<StructureRowText> rows;
    const int count = list.itemCount();
    rows.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row)
        rows.push_back({narrow(list.itemText(row, kStartColumn)), narrow(list.itemText(row, kCountColumn)),
                        narrow(list.itemText(row, kIncrementColumn))});
    return rows;
}

void Form1::appendStructureRow(const std::array<std::wstring, 3>& cells) {
    const ListView& list = controls_.ListView结构;
    const int row = list.insertItem(list.itemCount(), cells[kStartColumn]);
    list.setItemText(row, kCountColumn, cells[kCountColumn]);
    list.setItemText(row, kIncrementColumn, cells[kIncrementColumn]);
}

void Form1::parseStructureText() {
    const Form1Controls& c = controls_;
    const std::string structure = narrow(c.Text结构.text());
    if (structure.empty() && c.ListView结构.itemCount() == 0) {
        for (const Window& button : {c.Command首次搜索, c.Command再次搜索, c.Command监视结果}) button.enable(false);
        return;
    }
    c.ListView结构.deleteAll();
    for (const StructureRowText& texts : corvane::parseStructureText(structure))
        appendStructureRow({widen(texts.start), widen(texts.count), widen(texts.increment)});
}

void Form1::rebuildStructureText() {
    const StructureText text = corvane::rebuildStructureText(structureRowTexts());
    if (!text.empty()) controls_.Text结构.setText(widen(text));
}

bool Form1::isCanonicalHex(const std::string& offset) {
    const double value = std::nearbyint(parseValueText("&H" + offset));
    // Above 2^53 a double no longer holds every integer: such offsets fail.
    if (!(std::fabs(value) <= 9007199254740992.0)) return false;
    char digits[24];
    const auto integer = static_cast<long long>(value);
    if (integer < 0) return false;
    std::snprintf(digits, sizeof digits, "%llX", integer);
    std::string upper = offset;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper == digits;
}

const wchar_t* Form1::startRefusal(const std::string& start, int row, bool checkHex) {
    if (isMemoryStartCell(start)) return row != 0 ? kLaterMemoryRefusal : nullptr;
    if (!isModuleStartCell(start)) return checkHex && !isCanonicalHex(start) ? L"不是有效的十六进制数据！" : nullptr;
    if (row != 0) return kLaterModuleRefusal;
    const StartCell cell = parseStartCell(start);
    if (cell.form == StartCell::Form::Invalid) return kBadModuleRefusal;
    const std::size_t plus = moduleNameEnd(start);
    if (checkHex && plus != std::string::npos && !isCanonicalHex(start.substr(plus + 1)))
        return L"不是有效的十六进制数据！";
    return nullptr;
}

void Form1::onStructureTextChanged() {
    const Form1Controls& c = controls_;
    // The structure text is one line: a pasted or set line break would end
    // up in the settings file, so it goes before anyone reads the text.
    const std::wstring typed = c.Text结构.text();
    if (typed.find_first_of(L"\r\n") != std::wstring::npos) {
        std::wstring joined;
        for (wchar_t ch : typed)
            if (ch != L'\r' && ch != L'\n') joined += ch;
        c.Text结构.setText(joined);  // comes back here with the clean text
        c.Text结构.send(EM_SETSEL, joined.size(), static_cast<LPARAM>(joined.size()));
        return;
    }
    if (typed.empty()) {
        c.ListView结构.deleteAll();
        for (const Window& button : {c.Command首次搜索, c.Command再次搜索, c.Command监视结果}) button.enable(false);
        return;
    }
    c.Command首次搜索.enable();
    c.Command保存设置.enable();
}

void Form1::onAddStructureRow() {
    const Form1Controls& c = controls_;
    const std::wstring offset = c.Text偏移.text();
    auto refuse = [&](const wchar_t* message) {
        messageBox(hwnd(), message, MB_OK);
        c.Text偏移.focus();
        c.Text偏移.selectAll();
    };
    if (offset.empty()) return refuse(L"请输入起始偏移！");
    if (c.Text次数.textLength() == 0) c.Text次数.setText(L"0");
    if (c.Text递增.textLength() == 0) c.Text递增.setText(L"4");
    // The row goes to the end of the list: only into an empty list may it name a module.
    if (const wchar_t* refusal = startRefusal(narrow(offset), c.ListView结构.itemCount(), true)) return refuse(refusal);
    // A "]" or "*" in either cell would cut the structure text into other rows.
    for (const Edit& box : {c.Text次数, c.Text递增})
        if (!isUsableStructureCell(narrow(box.text()))) {
            messageBox(hwnd(), L"次数和递增中不能有“]”或“*”！", MB_OK);
            box.focus();
            box.selectAll();
            return;
        }

    appendStructureRow({offset, c.Text次数.text(), c.Text递增.text()});
    rebuildStructureText();
}

}  // namespace corvane
