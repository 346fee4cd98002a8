#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/dissect/dissect_path.h"
#include "engine/target/memory_reader.h"
#include "engine/target/module_lookup.h"
#include "engine/values/value_type.h"

namespace corvane {

// The structure that reaches one field, as the structure box holds it.
struct MadeStructure {
    enum class Shape : std::uint8_t {
        One,           // the field of the view's own object
        InlineArray,   // the field's row counts over objects that stand in a row
        PointerTable,  // the row of the last pointer counts over a table of them
    };
    std::string text;
    ValueType type = ValueType::Long;
    Shape shape = Shape::One;
};

// The structure from the view's path to the field at `fieldOffset` from the
// base, read as `type`. `instances` are the compared objects' addresses, the
// view's own included; when there are several and they are evenly spaced it
// writes the row that covers them all:
//  - objects whose addresses stand in a table of pointers, `width` apart,
//    whose first slot the view's path reads: that row counts over the
//    table, SLOT*N*WIDTH]LAST+FIELD];
//  - else objects in a row from the view's base up, `stride` apart: the
//    field's row counts over them, LAST+FIELD*N*STRIDE].
// Counts and increments are written in decimal, as the structure rows read
// them; offsets in hexadecimal.
MadeStructure makeStructure(const DissectPath& path, std::int64_t fieldOffset, ValueType type,
                            std::span<const std::uint64_t> instances, MemoryReader& reader, ModuleLookup* modules);

}  // namespace corvane
