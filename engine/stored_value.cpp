#include "engine/stored_value.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/value_text.h"

namespace corvane {

StoredValue StoredValue::number(ValueType type, std::uint8_t baseMode, const unsigned char* bytes) {
    StoredValue value;
    value.form_ = Form::Number;
    value.type_ = type;
    value.baseMode_ = baseMode;
    std::memcpy(&value.raw_, bytes, valueReadSize(type));
    return value;
}

StoredValue StoredValue::text(std::string_view bytes) {
    StoredValue value;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("value text too long");
    value.form_ = Form::Text;
    value.length_ = static_cast<std::uint32_t>(bytes.size());
    value.text_ = nullptr;
    if (!bytes.empty()) {
        value.text_ = new char[bytes.size()];
        std::memcpy(value.text_, bytes.data(), bytes.size());
    }
    return value;
}

StoredValue::StoredValue(StoredValue&& other) noexcept
    : raw_(other.raw_), length_(other.length_), form_(other.form_), type_(other.type_), baseMode_(other.baseMode_) {
    other.form_ = Form::Empty;
    other.raw_ = 0;
    other.length_ = 0;
}

StoredValue& StoredValue::operator=(StoredValue&& other) noexcept {
    if (this != &other) {
        release();
        raw_ = other.raw_;
        length_ = other.length_;
        form_ = other.form_;
        type_ = other.type_;
        baseMode_ = other.baseMode_;
        other.form_ = Form::Empty;
        other.raw_ = 0;
        other.length_ = 0;
    }
    return *this;
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

void StoredValue::release() {
    if (form_ == Form::Text) delete[] text_;
    form_ = Form::Empty;
    raw_ = 0;
    length_ = 0;
}

void StoredValue::appendText(std::string& out) const {
    switch (form_) {
        case Form::Empty: return;
        case Form::Text: out.append(text_ == nullptr ? "" : text_, length_); return;
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
