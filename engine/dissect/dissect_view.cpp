#include "engine/dissect/dissect_view.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/text/hex_text.h"
#include "engine/values/value_text.h"

namespace corvane {
namespace {

// A code page 936 text cut after `characters` characters.
std::string firstCharacters(std::string text, std::size_t characters) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < characters && at < text.size(); ++n)
        at += static_cast<unsigned char>(text[at]) >= 0x81 && at + 1 < text.size() ? 2u : 1u;
    text.resize(std::min(at, text.size()));
    return text;
}

}  // namespace

PathProblem DissectView::open(std::string_view text) {
    DissectPath parsed;
    const PathProblem problem = parseDissectPath(text, parsed);
    if (problem != PathProblem::None) return problem;
    return openPath(parsed) ? PathProblem::None : PathProblem::Malformed;
}

bool DissectView::openPath(const DissectPath& path) {
    const auto base = resolveDissectPath(reader_, path, modules_);
    if (!base) return false;
    path_ = path;
    history_.clear();
    overrides_.clear();
    startInstances(*base);
    return true;
}

void DissectView::startInstances(std::uint64_t base) {
    width_ = reader_.pointerWidth() == 4 ? 4 : 8;
    instances_.clear();
    instances_.push_back(Instance{base, Group::None, {}});
    reads_.assign(1, InstanceBytes{});
    guesses_.clear();
    if (!mapTaken_) refreshMap();
}

void DissectView::setRange(std::int64_t start, std::int64_t size) {
    start_ = start;
    size_ = std::clamp<std::int64_t>(size, width_, kMaxSize) / width_ * width_;
    for (Instance& instance : instances_) instance.changedAt.clear();
    for (InstanceBytes& read : reads_) read = {};
    guesses_.clear();
    overrides_.clear();
}

void DissectView::refreshMap() {
    mapTaken_ = true;
    pointees_.clear();
    if (regions_ == nullptr) return;
    map_.regions = regions_->readableRegions();
    map_.modules = regions_->moduleImages();
}

void DissectView::addInstance(std::uint64_t address) {
    instances_.push_back(Instance{address, Group::None, {}});
    reads_.emplace_back();
}

void DissectView::removeInstance(std::size_t index) {
    if (index == 0 || index >= instances_.size()) return;
    instances_.erase(instances_.begin() + static_cast<std::ptrdiff_t>(index));
    reads_.erase(reads_.begin() + static_cast<std::ptrdiff_t>(index));
}

void DissectView::setGroup(std::size_t index, Group group) {
    if (index >= instances_.size()) return;
    instances_[index].group = group;
    groups_.resize(instances_.size());
    groups_[index] = group;
}

bool DissectView::follow(std::size_t field) {
    if (field >= fieldCount() || kind(field) != FieldKind::Pointer || reads_[0].bytes.empty()) return false;
    const std::uint64_t pointer = loadPointer(reads_[0].bytes.data() + field * width_, width_);
    history_.push_back(Step{path_, start_, fieldOffset(field)});
    path_ = followPath(path_, fieldOffset(field));
    overrides_.clear();
    const std::vector<Step> kept = std::move(history_);
    startInstances(pointer);
    history_ = kept;
    start_ = 0;
    return true;
}

bool DissectView::back() {
    if (history_.empty()) return false;
    const Step step = history_.back();
    history_.pop_back();
    const auto base = resolveDissectPath(reader_, step.path, modules_);
    if (!base) return false;
    path_ = step.path;
    overrides_.clear();
    const std::vector<Step> kept = std::move(history_);
    startInstances(*base);
    history_ = kept;
    start_ = step.start;
    return true;
}

void DissectView::setKind(std::size_t field, std::optional<FieldKind> kind) {
    if (kind && *kind <= FieldKind::Utf8Text)
        overrides_[field] = *kind;
    else
        overrides_.erase(field);
}

unsigned DissectView::refresh(std::uint64_t nowMs) {
    unsigned calls = 0;
    const auto size = static_cast<std::size_t>(size_);
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        Instance& instance = instances_[i];
        InstanceBytes& last = reads_[i];
        calls += readInstance(reader_, instance.address + static_cast<std::uint64_t>(start_), size, fresh_);
        instance.changedAt.resize(fieldCount());
        if (last.bytes.size() == size) {
            for (std::size_t field = 0; field < fieldCount(); ++field) {
                const std::size_t at = field * width_;
                if (std::memcmp(fresh_.bytes.data() + at, last.bytes.data() + at, width_) != 0)
                    instance.changedAt[field] = nowMs;
            }
        }
        std::swap(last, fresh_);
    }
    groups_.clear();
    for (const Instance& instance : instances_) groups_.push_back(instance.group);
    if (!instances_.empty())
        guesses_ = guessFields(reads_[0].bytes, reads_[0].readable, width_,
                               instances_[0].address + static_cast<std::uint64_t>(start_), map_);
    return calls;
}

std::string DissectView::pathCaption() const {
    std::string caption = "base";
    for (const Step& step : history_) {
        caption += ']';
        appendHex(caption, static_cast<std::uint64_t>(step.field));
    }
    if (!history_.empty()) caption += ']';
    return caption;
}

FieldKind DissectView::kind(std::size_t field) const {
    if (const auto set = overrides_.find(field); set != overrides_.end()) return set->second;
    return field < guesses_.size() ? guesses_[field].kind : FieldKind::Unreadable;
}

std::string DissectView::kindText(std::size_t field) const {
    const FieldKind shown = kind(field);
    if (shown != FieldKind::Halves) return std::string(kindName(shown));
    return std::string(kindName(guesses_[field].low)) + "/" + std::string(kindName(guesses_[field].high));
}

std::string DissectView::bytesText(std::size_t field) const {
    std::string text;
    if (instances_.empty() || reads_[0].bytes.empty()) return text;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (unsigned i = 0; i < width_; ++i) {
        const unsigned char byte = reads_[0].bytes[field * width_ + i];
        if (i > 0) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::string DissectView::numberText(FieldKind kind, const unsigned char* bytes) const {
    char out[kMaxNumberTextLength];
    const std::size_t length = formatNumberText(valueTypeOf(kind, width_), 0, bytes, out);
    return std::string(out, length);
}

std::string DissectView::textAt(ValueType type, const InstanceBytes& instance, std::size_t at) const {
    std::array<unsigned char, kTextReadSize> buffer{};
    const std::size_t available = std::min(kTextReadSize, instance.bytes.size() - at);
    std::memcpy(buffer.data(), instance.bytes.data() + at, available);
    return firstCharacters(corvane::valueText(type, kNoBaseMode, buffer.data(), codec_), kMaxShownCharacters);
}

std::string DissectView::pointerText(std::uint64_t pointer) {
    std::string text;
    if (const ModuleImage* image = map_.moduleAt(pointer)) {
        text = image->name + "+";
        appendHex(text, pointer - image->start);
    } else {
        appendHex(text, pointer);
    }
    auto known = pointees_.find(pointer);
    if (known == pointees_.end()) {
        // A text it points to, read once per pointer: up to the end of its
        // page when the whole read does not go.
        std::string pointee;
        std::array<unsigned char, 2 * kMaxShownCharacters + 2> bytes{};
        std::size_t size = bytes.size();
        if (!reader_.read(pointer, bytes.data(), size)) {
            size = static_cast<std::size_t>(std::min<std::uint64_t>(size, kPageSize - pointer % kPageSize));
            if (!reader_.read(pointer, bytes.data(), size)) size = 0;
        }
        if (TextRun run; findTextRun(std::span<const unsigned char>(bytes.data(), size), run)) {
            InstanceBytes read;
            read.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            pointee = textAt(run.kind, read, 0);
        }
        known = pointees_.emplace(pointer, std::move(pointee)).first;
    }
    if (!known->second.empty()) text += " \"" + known->second + "\"";
    return text;
}

std::string DissectView::valueText(std::size_t field, std::size_t instance) {
    if (instance >= instances_.size() || field >= fieldCount()) return {};
    const InstanceBytes& read = reads_[instance];
    const std::size_t at = field * width_;
    if (read.bytes.size() < at + width_) return {};
    for (std::size_t i = at; i < at + width_; ++i)
        if (!read.readable[i]) return "??";
    const unsigned char* bytes = read.bytes.data() + at;
    const FieldKind shown = kind(field);
    switch (shown) {
        case FieldKind::TextContinuation: return "";
        case FieldKind::Unreadable: return "??";
        case FieldKind::Pointer: return pointerText(loadPointer(bytes, width_));
        case FieldKind::AnsiText:
        case FieldKind::Utf16Text:
        case FieldKind::Utf8Text: return textAt(valueTypeOf(shown, width_), read, at);
        case FieldKind::Halves: {
            const FieldGuess& halves = guesses_[field];
            const auto half = [&](FieldKind part, const unsigned char* four) {
                return part == FieldKind::Zero ? std::string("0") : numberText(part, four);
            };
            return half(halves.low, bytes) + " / " + half(halves.high, bytes + 4);
        }
        default: return numberText(shown, bytes);
    }
}

bool DissectView::differs(std::size_t field) const { return fieldDiffers(reads_, field * width_, width_); }

bool DissectView::separates(std::size_t field) const { return fieldSeparates(reads_, groups_, field * width_, width_); }

double DissectView::markStrength(std::size_t field, std::size_t instance, std::uint64_t nowMs) const {
    if (instance >= instances_.size() || field >= instances_[instance].changedAt.size()) return 0;
    const auto& changed = instances_[instance].changedAt[field];
    if (!changed || nowMs < *changed) return changed ? 1 : 0;
    const auto elapsed = static_cast<double>(nowMs - *changed);
    return elapsed >= static_cast<double>(kFadeMs) ? 0 : 1 - elapsed / static_cast<double>(kFadeMs);
}

MadeStructure DissectView::makeStructure(std::size_t field, unsigned half) {
    // Nothing is known of a field before the first read.
    if (field >= guesses_.size()) return {};
    FieldKind shown = kind(field);
    if (shown == FieldKind::Halves) shown = half == 1 ? guesses_[field].high : guesses_[field].low;
    ValueType type = valueTypeOf(shown, width_);
    if (guesses_[field].kind == FieldKind::Halves && !kindSetByHand(field)) {
        type = shown == FieldKind::Float ? ValueType::Single : ValueType::Long;
    }
    std::vector<std::uint64_t> addresses;
    for (const Instance& instance : instances_) addresses.push_back(instance.address);
    const std::int64_t offset = fieldOffset(field) + (half == 1 ? 4 : 0);
    return corvane::makeStructure(path_, offset, type, addresses, reader_, modules_);
}

}  // namespace corvane
