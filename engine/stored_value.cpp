#include "engine/stored_value.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/value_text.h"

namespace corvane {

StoredValue StoredValue::text(std::string_view bytes) {
    StoredValue value;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("value text too long");
    value.form_ = Form::Text;
    value.length_ = static_cast<std::uint32_t>(bytes.size());
    if (bytes.size() <= kInlineText) {
        value.raw_ = 0;
        if (!bytes.empty()) std::memcpy(value.inline_, bytes.data(), bytes.size());
    } else {
        value.text_ = new char[bytes.size()];
        std::memcpy(value.text_, bytes.data(), bytes.size());
    }
    return value;
}

StoredValue StoredValue::clone() const {
    if (form_ == Form::Text) return text(storedText());
    StoredValue copy;
    copy.raw_ = raw_;
    copy.form_ = form_;
    copy.type_ = type_;
    copy.baseMode_ = baseMode_;
    return copy;
}

void StoredValue::appendText(std::string& out) const {
    switch (form_) {
        case Form::Empty: return;
        case Form::Text: out.append(storedText()); return;
        case Form::Number: {
            unsigned char bytes[8];
            std::memcpy(bytes, &raw_, sizeof bytes);
            char digits[kMaxNumberTextLength];
            out.append(digits, formatNumberText(type_, baseMode_, bytes, digits));
            return;
        }
    }
}

std::string StoredValue::text() const {
    std::string out;
    appendText(out);
    return out;
}

}  // namespace corvane
