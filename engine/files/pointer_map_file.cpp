#include "engine/files/pointer_map_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "engine/kit/both_cores.h"
#include "engine/kit/huge_pages.h"

namespace corvane {
namespace {

// FNV-1a, fed in pieces.
class Fnv1a {
public:
    void add(const unsigned char* bytes, std::size_t size) {
        std::uint64_t hash = hash_;
        for (std::size_t i = 0; i < size; ++i) {
            hash ^= bytes[i];
            hash *= 0x100000001B3ull;
        }
        hash_ = hash;
    }
    void add(std::string_view bytes) { add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()); }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

std::uint64_t fnv1a(std::string_view bytes) {
    Fnv1a hash;
    hash.add(bytes);
    return hash.value();
}

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(bytes, sizeof(T));
}

// Reads forward through the bytes; any read past their end fails, and so
// does every read after it.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    template <typename T>
    bool get(T& value) {
        if (bytes_.size() - at_ < sizeof(T)) return false;
        value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value = static_cast<T>(value | (static_cast<T>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i)));
        at_ += sizeof(T);
        return true;
    }
    bool getNumber(std::uint64_t& value) {
        value = 0;
        for (unsigned shift = 0; shift < 64; shift += 7) {
            if (at_ >= bytes_.size()) return false;
            const auto byte = static_cast<unsigned char>(bytes_[at_++]);
            if (shift == 63 && byte > 1) return false;
            value |= std::uint64_t{byte & 0x7Fu} << shift;
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    }
    bool getText(std::size_t size, std::string& text) {
        if (bytes_.size() - at_ < size) return false;
        text.assign(bytes_.substr(at_, size));
        at_ += size;
        return true;
    }
    std::size_t left() const { return bytes_.size() - at_; }
    std::size_t at() const { return at_; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

std::int64_t unzigzag(std::uint64_t value) {
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

bool refuse(std::string& error, const char* why, RunMap& map) {
    error = why;
    map = RunMap{};
    return false;
}

// Every byte before the pointers' bytes.
std::string headerOf(const RunMap& outline, std::uint64_t pointers, std::uint64_t pointerBytes) {
    std::string out;
    out.append(kPointerMapMagic);
    put<std::uint32_t>(out, kPointerMapVersion);
    put<std::uint32_t>(out, outline.width);
    put<std::uint64_t>(out, outline.address);
    put<std::uint32_t>(out, static_cast<std::uint32_t>(outline.images.size()));
    for (const ModuleImage& image : outline.images) {
        put<std::uint32_t>(out, static_cast<std::uint32_t>(image.name.size()));
        out += image.name;
        put<std::uint64_t>(out, image.start);
        put<std::uint64_t>(out, image.size);
    }
    put<std::uint32_t>(out, static_cast<std::uint32_t>(outline.regions.size()));
    for (const MemoryRegion& region : outline.regions) {
        put<std::uint64_t>(out, region.start);
        put<std::uint64_t>(out, region.size);
        out.push_back(region.writable ? '\1' : '\0');
    }
    put<std::uint64_t>(out, pointers);
    put<std::uint64_t>(out, pointerBytes);
    return out;
}

}  // namespace

std::string encodePointerMap(const EncodedRunMap& map) {
    const std::uint64_t length = map.pointerBytes();
    std::string out = headerOf(map.outline, map.size(), length);
    out.reserve(out.size() + static_cast<std::size_t>(length) + 8);
    map.eachPointerPiece([&out](const unsigned char* bytes, std::size_t size) {
        out.append(reinterpret_cast<const char*>(bytes), size);
    });
    put<std::uint64_t>(out, fnv1a(out));
    return out;
}

std::string encodePointerMap(const RunMap& map) { return encodePointerMap(encodeRunMap(map)); }

bool decodePointerMap(std::string_view bytes, RunMap& map, std::string& error) {
    map = RunMap{};
    if (!bytes.starts_with(kPointerMapMagic)) return refuse(error, "not a pointer map", map);
    Cursor in(bytes.substr(kPointerMapMagic.size()));
    std::uint32_t version = 0;
    if (!in.get(version)) return refuse(error, "a pointer map cut short in its header", map);
    if (version != kPointerMapVersion) {
        error = "a pointer map of version " + std::to_string(version) + ", this program reads version " +
                std::to_string(kPointerMapVersion);
        map = RunMap{};
        return false;
    }
    if (bytes.size() < kPointerMapMagic.size() + 8 || fnv1a(bytes.substr(0, bytes.size() - 8)) != [&] {
            std::uint64_t stored = 0;
            Cursor tail(bytes.substr(bytes.size() - 8));
            tail.get(stored);
            return stored;
        }())
        return refuse(error, "a pointer map cut short or damaged (its checksum does not match)", map);
    // From here the bytes are as written; what is checked still guards
    // against a file made to pass the checksum.
    Cursor body(bytes.substr(kPointerMapMagic.size() + 4, bytes.size() - kPointerMapMagic.size() - 4 - 8));
    std::uint32_t width = 0;
    std::uint32_t count = 0;
    if (!body.get(width) || !body.get(map.address)) return refuse(error, "a pointer map cut short in its header", map);
    if (width != 4 && width != 8) return refuse(error, "a pointer map with a pointer width other than 4 or 8", map);
    map.width = width;
    if (!body.get(count) || count > body.left() / 20)
        return refuse(error, "a pointer map cut short in its images", map);
    map.images.resize(count);
    for (ModuleImage& image : map.images) {
        std::uint32_t length = 0;
        if (!body.get(length) || !body.getText(length, image.name) || !body.get(image.start) || !body.get(image.size))
            return refuse(error, "a pointer map cut short in its images", map);
        if (image.start + image.size < image.start) return refuse(error, "a pointer map with a damaged image", map);
    }
    if (!body.get(count) || count > body.left() / 17)
        return refuse(error, "a pointer map cut short in its regions", map);
    map.regions.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        MemoryRegion& region = map.regions[i];
        std::uint8_t writable = 0;
        if (!body.get(region.start) || !body.get(region.size) || !body.get(writable))
            return refuse(error, "a pointer map cut short in its regions", map);
        region.writable = writable != 0;
        if (region.size == 0 || region.start + region.size < region.start || writable > 1 ||
            (i > 0 && region.start < map.regions[i - 1].end()))
            return refuse(error, "a pointer map with damaged regions", map);
    }
    std::uint64_t pointers = 0;
    std::uint64_t length = 0;
    if (!body.get(pointers) || !body.get(length) || length != body.left() || pointers > length / 3)
        return refuse(error, "a pointer map cut short in its pointers", map);
    resizeFresh(map.slots, pointers);
    resizeFresh(map.words, pointers);
    std::uint64_t slot = 0;
    std::int64_t region = 0;
    std::size_t holder = 0;  // the region of the slot
    for (std::uint64_t i = 0; i < pointers; ++i) {
        std::uint64_t step = 0;
        std::uint64_t regionStep = 0;
        std::uint64_t offset = 0;
        if (!body.getNumber(step) || !body.getNumber(regionStep) || !body.getNumber(offset))
            return refuse(error, "a pointer map cut short in its pointers", map);
        if ((i > 0 && step == 0) || step > (~std::uint64_t{0} - slot) / width)
            return refuse(error, "a pointer map whose slots are out of order", map);
        slot += step * width;
        region += unzigzag(regionStep);
        if (region < 0 || static_cast<std::uint64_t>(region) >= map.regions.size() ||
            offset >= map.regions[static_cast<std::size_t>(region)].size)
            return refuse(error, "a pointer map with a word that points outside every region", map);
        while (holder < map.regions.size() && map.regions[holder].end() <= slot) ++holder;
        if (holder == map.regions.size() || slot < map.regions[holder].start ||
            slot + width > map.regions[holder].end())
            return refuse(error, "a pointer map with a slot outside every region", map);
        map.slots[i] = slot;
        map.words[i] = map.regions[static_cast<std::size_t>(region)].start + offset;
    }
    if (body.left() != 0) return refuse(error, "a pointer map with bytes after its pointers", map);
    return true;
}

std::string savePointerMap(const std::filesystem::path& file, const EncodedRunMap& map, const StopFlag& stop) {
    if (stop.raised()) return "stopped";
    // The pointers' bytes are already encoded, some 6 a pointer, in the
    // reading threads' blocks: only the header, whose counts were known last,
    // is made here, and every byte goes to the file once, in the blocks'
    // pieces, so that a stop is heard while a large map is written.
    const std::string header = headerOf(map.outline, map.size(), map.pointerBytes());
    std::filesystem::path partial = file;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        const auto write = [&] {
            out.write(header.data(), static_cast<std::streamsize>(header.size()));
            map.eachPointerPiece([&](const unsigned char* bytes, std::size_t size) {
                if (out && !stop.raised())
                    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
            });
        };
        // The checksum goes byte after byte, at a third of the time the
        // writing takes: on a second core it costs nothing.
        std::uint64_t hash = 0;
        const auto checksum = [&] {
            Fnv1a fnv;
            fnv.add(header);
            map.eachPointerPiece([&fnv](const unsigned char* bytes, std::size_t size) { fnv.add(bytes, size); });
            hash = fnv.value();
        };
        if (twoCores()) {
            runBoth(write, checksum);
        } else {
            write();
            checksum();
        }
        std::string tail;
        put<std::uint64_t>(tail, hash);
        out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
        out.flush();
        if (!out || stop.raised()) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return stop.raised() ? "stopped" : "cannot write " + partial.string();
        }
    }
    std::error_code failed;
    std::filesystem::rename(partial, file, failed);
    if (failed) {
        // Where a rename does not replace a file.
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        std::filesystem::rename(partial, file, failed);
    }
    if (failed) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return "cannot write " + file.string();
    }
    return "";
}

std::string savePointerMap(const std::filesystem::path& file, const RunMap& map, const StopFlag& stop) {
    if (stop.raised()) return "stopped";
    return savePointerMap(file, encodeRunMap(map), stop);
}

std::string loadPointerMap(const std::filesystem::path& file, RunMap& map) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "cannot be read";
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return "cannot be read";
    std::string error;
    decodePointerMap(bytes, map, error);
    return error;
}

}  // namespace corvane
