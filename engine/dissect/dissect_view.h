#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dissect/dissect_path.h"
#include "engine/dissect/field_compare.h"
#include "engine/dissect/field_guess.h"
#include "engine/dissect/instance_reads.h"
#include "engine/dissect/structure_maker.h"
#include "engine/target/memory_reader.h"
#include "engine/target/memory_regions.h"
#include "engine/target/module_lookup.h"
#include "engine/text/text_codec.h"

namespace corvane {

// The live dissection of the memory around an address: the range from the
// base, the objects compared with it, the kinds guessed for its fields and
// the changes seen between reads. The window refreshes it every 200 ms;
// the command line reads it once. Times are milliseconds of the caller's
// clock, so that a test can move it.
class DissectView {
public:
    static constexpr std::int64_t kDefaultSize = 0x100;
    static constexpr std::int64_t kMaxSize = 0x10000;
    // How long a changed field stays marked, fading.
    static constexpr std::uint64_t kFadeMs = 3000;

    struct Instance {
        std::uint64_t address = 0;
        Group group = Group::None;
        std::vector<std::optional<std::uint64_t>> changedAt;  // per field
    };

    DissectView(MemoryReader& reader, ModuleLookup* modules, RegionLookup* regions, const TextCodec& codec)
        : reader_(reader), modules_(modules), regions_(regions), codec_(codec) {}

    // Opens the view on an address, path or one-leaf structure text: the
    // path is resolved and the view's base is its leaf. The instances
    // compared, the kinds set by hand and the way back are dropped.
    PathProblem open(std::string_view text);
    // False when the path does not resolve; the view is then left as it was.
    bool openPath(const DissectPath& path);
    // The range from `start` (may be negative) over `size` bytes, cut to
    // whole fields and at most kMaxSize.
    void setRange(std::int64_t start, std::int64_t size);
    // Takes the target's regions and modules afresh, for the pointer rule.
    void refreshMap();

    // A further object to compare; its group starts as None.
    void addInstance(std::uint64_t address);
    void removeInstance(std::size_t index);
    void setGroup(std::size_t index, Group group);

    // Shows the object the pointer field points to; false when the field
    // holds no pointer.
    bool follow(std::size_t field);
    // Back to the object the last follow came from; false at the first.
    bool back();

    // A kind set by hand; std::nullopt gives the field back to the guess.
    void setKind(std::size_t field, std::optional<FieldKind> kind);

    // Reads every instance's range again; fields whose bytes changed since
    // the last read are marked at `nowMs`. Returns the read calls made.
    unsigned refresh(std::uint64_t nowMs);

    const DissectPath& path() const { return path_; }
    // The path above the table: base]18]... as reached from the opened one.
    std::string pathCaption() const;
    std::uint64_t base() const { return instances_.empty() ? 0 : instances_[0].address; }
    std::int64_t rangeStart() const { return start_; }
    std::int64_t rangeSize() const { return size_; }
    unsigned width() const { return width_; }
    bool canGoBack() const { return !history_.empty(); }
    const std::vector<Instance>& instances() const { return instances_; }
    // Each instance's bytes as last read, in the order of instances().
    const std::vector<InstanceBytes>& reads() const { return reads_; }

    std::size_t fieldCount() const { return static_cast<std::size_t>(size_) / width_; }
    // Offset of a field from the base.
    std::int64_t fieldOffset(std::size_t field) const { return start_ + static_cast<std::int64_t>(field * width_); }
    // The kind set by hand, or else the guess from the view's own object.
    FieldKind kind(std::size_t field) const;
    bool kindSetByHand(std::size_t field) const { return overrides_.contains(field); }
    const FieldGuess& guess(std::size_t field) const { return guesses_[field]; }
    // "gbk", "float/int32", ... as the kind shows.
    std::string kindText(std::size_t field) const;
    // The field's bytes in the view's own object, two digits each.
    std::string bytesText(std::size_t field) const;
    // The field's value in one instance as its kind reads it (code page 936).
    std::string valueText(std::size_t field, std::size_t instance);
    bool differs(std::size_t field) const;
    bool separates(std::size_t field) const;
    // How strongly a field's change mark shows in an instance at `nowMs`:
    // 1 as it changes, fading to 0 over kFadeMs.
    double markStrength(std::size_t field, std::size_t instance, std::uint64_t nowMs) const;

    // The structure that reaches a field (`half` 1: its high 4 bytes) from
    // the view's path, read as the field's kind.
    MadeStructure makeStructure(std::size_t field, unsigned half = 0);

private:
    std::string pointerText(std::uint64_t pointer);
    std::string numberText(FieldKind kind, const unsigned char* bytes) const;
    std::string textAt(ValueType type, const InstanceBytes& instance, std::size_t at) const;
    void startInstances(std::uint64_t base);

    MemoryReader& reader_;
    ModuleLookup* modules_;
    RegionLookup* regions_;
    const TextCodec& codec_;
    unsigned width_ = 8;
    DissectPath path_;
    std::int64_t start_ = 0;
    std::int64_t size_ = kDefaultSize;
    std::vector<Instance> instances_;
    std::vector<InstanceBytes> reads_;
    std::vector<Group> groups_;
    InstanceBytes fresh_;
    std::vector<FieldGuess> guesses_;
    std::map<std::size_t, FieldKind> overrides_;
    AddressMap map_;
    bool mapTaken_ = false;
    // What a pointer points to, read once per pointer value.
    std::map<std::uint64_t, std::string> pointees_;
    // Where each follow came from, and the field it followed.
    struct Step {
        DissectPath path;
        std::int64_t start = 0;
        std::int64_t field = 0;
    };
    std::vector<Step> history_;
};

}  // namespace corvane
