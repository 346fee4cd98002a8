#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/dissect/text_runs.h"
#include "engine/target/memory_regions.h"
#include "engine/values/value_type.h"

namespace corvane {

// What a word of the target seems to hold. The first nine are the value
// types the user can also set by hand; the others are only guessed.
enum class FieldKind : std::uint8_t {
    Byte,
    Short,
    Int32,
    Int64,
    Float,
    Double,
    AnsiText,
    Utf16Text,
    Utf8Text,
    Zero,
    Pointer,
    TextContinuation,  // inside a text that starts in an earlier field
    Halves,            // two 4-byte kinds side by side
    Unreadable,
};

// The kind of each value type, and back; the guessed-only kinds read as the
// value type of their width (a pointer, zero or halves as the pointer-wide
// integer).
FieldKind kindOf(ValueType type);
ValueType valueTypeOf(FieldKind kind, unsigned width);
// Short names for the command line and the window: "pointer", "gbk", ...
std::string_view kindName(FieldKind kind);

// The guess for one pointer-wide field. Halves hold the kinds of the low and
// the high 4 bytes (Zero, Float or Int32). A text's run tells how far it
// reaches; the fields it covers after its own are TextContinuation.
struct FieldGuess {
    FieldKind kind = FieldKind::Zero;
    FieldKind low = FieldKind::Zero;
    FieldKind high = FieldKind::Zero;
    TextRun text;
};

// Where the target can be read, for the pointer rule; sorted by address.
struct AddressMap {
    std::vector<MemoryRegion> regions;
    std::vector<ModuleImage> modules;

    bool readable(std::uint64_t address) const;
    // The module image holding `address`, or null.
    const ModuleImage* moduleAt(std::uint64_t address) const;
};

// The rules, tried in this order for each field of `width` bytes at byte
// `at` of `bytes` (whose first byte lies at `address`):
//  1. inside a text run of an earlier field: TextContinuation;
//  2. all bytes zero: Zero;
//  3. the word is aligned to its width and its value lies in a readable
//     region: Pointer (before the texts: a pointer's six low bytes and the
//     zeros above them often read as a short text);
//  4. a text run starting here (findTextRun): its kind;
//  5. both halves plausible floats of like size (within a factor of 2^8, as
//     coordinates and limits are): Halves of Float;
//  6. a plausible double (normal, magnitude from 1e-6 to 1e12) whose low
//     half is zero or no small int32 (a small count beside a float reads as
//     a double of almost no mantissa): Double;
//  7. a wide integer: the high half not zero, the halves not both small
//     int32 (magnitude below 2^24), and the value's magnitude below 2^53:
//     Int64;
//  8. otherwise Halves, each Zero, Float when a plausible float (normal,
//     magnitude from 1e-4 to 1e8) or Int32.
// A 4-byte target's fields are single halves: Zero, text, Pointer, Float or Int32.
bool isPlausibleFloat(float value);
bool isPlausibleDouble(double value);
FieldGuess guessField(std::span<const unsigned char> bytes, std::size_t at, unsigned width, std::uint64_t address,
                      const AddressMap& map);

// Guesses every field of `bytes`, fields `width` apart from its start;
// `readable` says per byte whether it could be read (a field with an
// unreadable byte is Unreadable). Carries text runs over into the fields they
// cover.
std::vector<FieldGuess> guessFields(std::span<const unsigned char> bytes, std::span<const std::uint8_t> readable,
                                    unsigned width, std::uint64_t address, const AddressMap& map);

}  // namespace corvane
