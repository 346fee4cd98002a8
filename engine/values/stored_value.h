#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/values/value_type.h"

namespace corvane {

// A result's value as last read. Numbers keep the bytes read with the kind and
// base they were read in, and their text is formatted when it is shown: 16
// bytes instead of a string per result, and the exact value stays at hand for
// the change comparisons. Texts keep their bytes (code page 936), up to 8 of
// them inline. A value that arrived as text only (a results file) keeps that text.
class StoredValue {
public:
    enum class Form : std::uint8_t { Empty, Number, Text };

    StoredValue() : raw_(0) {}
    // Inline, as a pass makes a million of them.
    static StoredValue number(ValueType type, std::uint8_t baseMode, const unsigned char* bytes) {
        StoredValue value;
        value.setNumber(type, baseMode, bytes);
        return value;
    }
    // The same in place: a pass writes a million of them, and a value built
    // aside and moved in is copied through narrow stores and wide loads.
    void setNumber(ValueType type, std::uint8_t baseMode, const unsigned char* bytes) {
        setNumberRaw(type, baseMode, rawOf(type, bytes));
    }
    // The bytes of a number of `type`, zero-extended, as raw() gives them back.
    static std::uint64_t rawOf(ValueType type, const unsigned char* bytes) {
        return loadRaw(bytes, valueReadSize(type));
    }
    void setNumberRaw(ValueType type, std::uint8_t baseMode, std::uint64_t raw) {
        if (onHeap()) freeLongText(text_);
        raw_ = raw;
        length_ = 0;
        form_ = Form::Number;
        type_ = type;
        baseMode_ = baseMode;
    }
    static StoredValue text(std::string_view bytes) {
        StoredValue value;
        if (bytes.size() > kInlineText) return longText(bytes);
        value.form_ = Form::Text;
        value.length_ = static_cast<std::uint32_t>(bytes.size());
        if (!bytes.empty()) std::memcpy(value.inline_, bytes.data(), bytes.size());
        return value;
    }

    StoredValue(const StoredValue&) = delete;
    StoredValue& operator=(const StoredValue&) = delete;
    StoredValue(StoredValue&& other) noexcept
        : raw_(other.raw_), length_(other.length_), form_(other.form_), type_(other.type_), baseMode_(other.baseMode_) {
        other.form_ = Form::Empty;
        other.raw_ = 0;
        other.length_ = 0;
    }
    StoredValue& operator=(StoredValue&& other) noexcept {
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
    ~StoredValue() {
        if (onHeap()) freeLongText(text_);
    }
    StoredValue clone() const {
        if (onHeap()) return text(storedText());
        StoredValue copy;
        copy.raw_ = raw_;
        copy.length_ = length_;
        copy.form_ = form_;
        copy.type_ = type_;
        copy.baseMode_ = baseMode_;
        return copy;
    }

    // Texts kept on the heap anywhere in the process. While there are none,
    // no value needs its destructor, and a store lets go of a million
    // values without visiting each one.
    static std::size_t liveLongTexts() { return liveLongTexts_.load(std::memory_order_acquire); }

    Form form() const { return form_; }
    // Form, kind and base in one word, for comparing a million of them.
    std::uint32_t kindKey() const { return kindKey(form_, type_, baseMode_); }
    static constexpr std::uint32_t kindKey(Form form, ValueType type, std::uint8_t baseMode) {
        return static_cast<std::uint32_t>(form) | static_cast<std::uint32_t>(type) << 8 |
               static_cast<std::uint32_t>(baseMode) << 16;
    }
    ValueType type() const { return type_; }
    std::uint8_t baseMode() const { return baseMode_; }
    // The bytes read, zero-extended (Number form).
    std::uint64_t raw() const { return form_ == Form::Number ? raw_ : 0; }
    std::string_view storedText() const {
        if (form_ != Form::Text) return std::string_view();
        return length_ <= kInlineText ? std::string_view(inline_, length_) : std::string_view(text_, length_);
    }

    // Every value but a long text packs into its 8 bytes, its length and its
    // kind: the compact results keep them that way.
    bool packable() const { return !onHeap(); }
    std::uint64_t packedBytes() const { return raw_; }
    std::uint32_t packedLength() const { return length_; }
    static StoredValue unpacked(Form form, ValueType type, std::uint8_t baseMode, std::uint32_t length,
                                std::uint64_t bytes) {
        StoredValue value;
        value.raw_ = bytes;
        value.length_ = length <= kInlineText ? length : kInlineText;
        value.form_ = form;
        value.type_ = type;
        value.baseMode_ = baseMode;
        return value;
    }

    // The value text as listed.
    void appendText(std::string& out) const;
    std::string text() const;

private:
    // Loaded at its own width and widened in a register: a narrow copy into
    // the wide field would stall the wide load that follows it.
    static std::uint64_t loadRaw(const unsigned char* bytes, std::size_t size) {
        switch (size) {
            case 1: return bytes[0];
            case 2: return load<std::uint16_t>(bytes);
            case 4: return load<std::uint32_t>(bytes);
            case 8: return load<std::uint64_t>(bytes);
            default: {
                std::uint64_t raw = 0;
                std::memcpy(&raw, bytes, size < sizeof raw ? size : sizeof raw);
                return raw;
            }
        }
    }
    template <typename T>
    static std::uint64_t load(const unsigned char* bytes) {
        T v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }

    // Texts this short live in the value itself: most listed numbers do.
    static constexpr std::uint32_t kInlineText = 8;
    bool onHeap() const { return form_ == Form::Text && length_ > kInlineText; }
    static void freeLongText(char* text) {
        delete[] text;
        liveLongTexts_.fetch_sub(1, std::memory_order_release);
    }
    static std::atomic<std::size_t> liveLongTexts_;
    static StoredValue longText(std::string_view bytes);

    void release() {
        if (onHeap()) freeLongText(text_);
        form_ = Form::Empty;
        raw_ = 0;
        length_ = 0;
    }

    union {
        std::uint64_t raw_;
        char* text_;
        char inline_[8];
    };
    std::uint32_t length_ = 0;
    Form form_ = Form::Empty;
    ValueType type_ = ValueType::Byte;
    std::uint8_t baseMode_ = 0;
};

}  // namespace corvane
