#include "engine/files/result_lines.h"

#include <algorithm>
#include <cstring>

#include "engine/files/value_escapes.h"

namespace corvane {

void LineFormatter::format(const ResultSnapshot* entries, std::size_t count, std::vector<char>& text, std::size_t& used,
                           std::string_view linePrefix) {
    for (std::size_t i = 0; i < count; ++i) {
        const ResultSnapshot& entry = entries[i];
        const StoredValue& value = entry.value;
        const std::string_view levels = levels_.of(paths_, entry.parent);
        std::string_view valueText;
        if (value.form() == StoredValue::Form::Text) {
            valueText = value.storedText();
            if (!isPlainText(valueText)) {
                escaped_.clear();
                appendValue(escaped_, valueText, codec_, wide_);
                valueText = escaped_;
            }
        }
        // Hexadecimal digits and levels texts are written in whole
        // steps, which may run past the line.
        const std::size_t room = linePrefix.size() + levels.size() + kCopyStep + valueText.size() +
                                 kMaxNumberTextLength + 2 * kMaxHexDigits + 3;
        if (text.size() - used < room) text.resize(std::max(2 * text.size(), used + room));
        char* at = text.data() + used;
        if (!linePrefix.empty()) {
            std::memcpy(at, linePrefix.data(), linePrefix.size());
            at += linePrefix.size();
        }
        for (std::size_t step = 0; step < levels.size(); step += kCopyStep)
            std::memcpy(at + step, levels.data() + step, kCopyStep);
        at += levels.size();
        at += putHex(static_cast<std::uint64_t>(entry.leafOffset), at);
        *at++ = '\t';
        if (value.form() == StoredValue::Form::Number) {
            // A number's text is digits, signs, a point and letters:
            // plain, so it is formatted straight into the line.
            at += numbers_.format(value, at);
        } else if (!valueText.empty()) {
            std::memcpy(at, valueText.data(), valueText.size());
            at += valueText.size();
        }
        *at++ = '\t';
        at += addresses_.put(entry.address, at);
        *at++ = '\n';
        used = static_cast<std::size_t>(at - text.data());
    }
}

}  // namespace corvane
