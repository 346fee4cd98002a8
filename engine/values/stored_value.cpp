#include "engine/values/stored_value.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/values/value_text.h"

namespace corvane {

std::atomic<std::size_t> StoredValue::liveLongTexts_{0};

StoredValue StoredValue::longText(std::string_view bytes) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("value text too long");
    StoredValue value;
    value.form_ = Form::Text;
    value.length_ = static_cast<std::uint32_t>(bytes.size());
    value.text_ = new char[bytes.size()];
    liveLongTexts_.fetch_add(1, std::memory_order_release);
    std::memcpy(value.text_, bytes.data(), bytes.size());
    return value;
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
