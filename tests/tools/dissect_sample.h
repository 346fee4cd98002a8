#pragma once

// The objects of the dissection test program, declared once for the program
// that holds them in its own memory and for the tests that lay them out in a
// fake target: a world in the program's data that points to records holding
// every kind of field, an inline array of eight entities of which three are
// foes, and a table of pointers to eight more entities standing apart.
// Values come from a fixed seed, so every build lays out the same values.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane::sample {

// Record: one field of each kind the view guesses, twice where a kind fits
// twice. Values are drawn from these ranges:
//   double: uniform in [-100000, 100000];  float: uniform in [-10000, 10000];
//   int32: uniform in [-1000000, 1000000] without 0;
//   int64: magnitude uniform in [2^33, 2^47], either sign;
//   texts: 4 to 7 characters, ASCII letters and at least one of eight
//   Chinese characters, in GBK, UTF-16 and UTF-8.
struct Record {
    std::uint64_t moduleData;   // 0x00 -> the world, in the program's data
    std::uint64_t heapBlock;    // 0x08 -> a block on the heap
    std::uint64_t name;         // 0x10 -> a GBK text on the heap
    double health;              // 0x18
    float x, y;                 // 0x20, 0x24
    std::int32_t level, score;  // 0x28, 0x2C
    std::int64_t experience;    // 0x30
    std::uint64_t padding1;     // 0x38: zero
    char gbk[24];               // 0x40
    char16_t utf16[16];         // 0x58
    char utf8[24];              // 0x78
    double mana;                // 0x90
    float speed, angle;         // 0x98, 0x9C
    std::int32_t gold, kills;   // 0xA0, 0xA4
    std::int64_t timer;         // 0xA8
    std::uint64_t padding2;     // 0xB0: zero
    std::uint8_t flag;          // 0xB8: 0 or 1, zero padding after it
    std::uint8_t flagPadding[7];
};
static_assert(sizeof(Record) == 0xC0);

// Entity: the objects compared. Foes have `foe` 1, `team` 2 and
// `aggression` 0.75; friends 0, 1 and 0.25. Everything else is drawn per
// entity, or the same in all of them.
struct Entity {
    std::uint64_t moduleData;   // 0x00 -> the world, the same in all
    std::uint64_t name;         // 0x08 -> a UTF-8 text on the heap
    double health;              // 0x10
    float x, y;                 // 0x18, 0x1C
    std::int32_t level, score;  // 0x20, 0x24
    std::int64_t experience;    // 0x28
    std::uint8_t foe;           // 0x30
    std::uint8_t foePadding[7];
    std::int32_t team;         // 0x38
    std::int32_t teamPadding;  // 0x3C: zero
    double aggression;         // 0x40
    std::uint64_t padding[3];  // 0x48 to 0x5F: zero
};
static_assert(sizeof(Entity) == 0x60);

inline constexpr std::size_t kRecords = 40;
inline constexpr std::size_t kEntities = 8;
inline constexpr bool kFoe[kEntities] = {false, false, true, false, false, true, false, true};

// The world, in the program's data: where everything else is reached from.
struct World {
    std::uint64_t records;      // 0x00 -> Record[kRecords]
    std::uint64_t recordCount;  // 0x08
    std::uint64_t entities;     // 0x10 -> Entity[kEntities], inline, 0x60 apart
    std::uint64_t table;        // 0x18 -> kEntities pointers to entities standing apart
};

// A declared field: its offset in its object and its kind by the names the
// view shows ("flag" is the byte flag, left out of every score).
struct DeclaredField {
    std::uint32_t offset;
    const char* kind;
};

inline constexpr DeclaredField kRecordLayout[] = {
    {0x00, "pointer"}, {0x08, "pointer"}, {0x10, "pointer"}, {0x18, "double"}, {0x20, "float"}, {0x24, "float"},
    {0x28, "int32"},   {0x2C, "int32"},   {0x30, "int64"},   {0x38, "zero"},   {0x40, "gbk"},   {0x58, "utf16"},
    {0x78, "utf8"},    {0x90, "double"},  {0x98, "float"},   {0x9C, "float"},  {0xA0, "int32"}, {0xA4, "int32"},
    {0xA8, "int64"},   {0xB0, "zero"},    {0xB8, "flag"},
};
inline constexpr DeclaredField kEntityLayout[] = {
    {0x00, "pointer"}, {0x08, "pointer"}, {0x10, "double"}, {0x18, "float"}, {0x1C, "float"},
    {0x20, "int32"},   {0x24, "int32"},   {0x28, "int64"},  {0x30, "flag"},  {0x38, "int32"},
    {0x3C, "zero"},    {0x40, "double"},  {0x48, "zero"},   {0x50, "zero"},  {0x58, "zero"},
};
// The fields that tell foes from friends.
inline constexpr std::uint32_t kFoeFields[] = {0x30, 0x38, 0x40};

// Eight Chinese characters in the three encodings.
struct Character {
    char16_t unit;
    unsigned char gbk[2];
};
inline constexpr Character kCharacters[] = {
    {u'\u4E2D', {0xD6, 0xD0}}, {u'\u6587', {0xCE, 0xC4}}, {u'\u4EBA', {0xC8, 0xCB}}, {u'\u53CB', {0xD3, 0xD1}},
    {u'\u654C', {0xB5, 0xD0}}, {u'\u670B', {0xC5, 0xF3}}, {u'\u5251', {0xBD, 0xA3}}, {u'\u9F99', {0xC1, 0xFA}},
};

class Draws {
public:
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(next() >> 11) / 9007199254740992.0;
    }
    std::int32_t int32() {
        const auto value = static_cast<std::int32_t>(next() % 2000001) - 1000000;
        return value == 0 ? 1 : value;
    }
    std::int64_t int64() {
        const auto magnitude = static_cast<std::int64_t>(uniform(8589934592.0, 140737488355328.0));
        return next() % 2 ? magnitude : -magnitude;
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

// A text as code points: 4 to 7 characters, at least one Chinese.
inline std::u16string drawText(Draws& draws) {
    const std::size_t length = 4 + draws.next() % 4;
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
        if (i == 0 || draws.next() % 2)
            text += kCharacters[draws.next() % 8].unit;
        else
            text += static_cast<char16_t>(u'a' + draws.next() % 26);
    }
    return text;
}

inline std::string gbkOf(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        for (const Character& known : kCharacters)
            if (known.unit == c) out.append(reinterpret_cast<const char*>(known.gbk), 2);
    }
    return out;
}

inline std::string utf8Of(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Lays the world out through `memory`, which gives zero-filled room
// (allocate(bytes) -> address) and writes bytes (write(address, data, size)).
// `world` is where the world stands in the program's data.
template <typename Memory>
World build(Memory& memory, std::uint64_t world) {
    Draws draws;
    World out{};
    const auto putText = [&](const std::string& bytes) {
        const std::uint64_t at = memory.allocate(bytes.size() + 1);
        memory.write(at, bytes.data(), bytes.size());
        return at;
    };
    std::vector<Record> records(kRecords);
    for (Record& r : records) {
        std::memset(&r, 0, sizeof r);
        r.moduleData = world;
        r.heapBlock = memory.allocate(64);
        r.name = putText(gbkOf(drawText(draws)));
        r.health = draws.uniform(-100000, 100000);
        r.x = static_cast<float>(draws.uniform(-10000, 10000));
        r.y = static_cast<float>(draws.uniform(-10000, 10000));
        r.level = draws.int32();
        r.score = draws.int32();
        r.experience = draws.int64();
        const std::string gbk = gbkOf(drawText(draws));
        std::memcpy(r.gbk, gbk.data(), gbk.size());
        const std::u16string utf16 = drawText(draws);
        std::memcpy(r.utf16, utf16.data(), utf16.size() * 2);
        const std::string utf8 = utf8Of(drawText(draws));
        std::memcpy(r.utf8, utf8.data(), utf8.size());
        r.mana = draws.uniform(-100000, 100000);
        r.speed = static_cast<float>(draws.uniform(-10000, 10000));
        r.angle = static_cast<float>(draws.uniform(-10000, 10000));
        r.gold = draws.int32();
        r.kills = draws.int32();
        r.timer = draws.int64();
        r.flag = static_cast<std::uint8_t>(draws.next() % 2);
    }
    out.records = memory.allocate(sizeof(Record) * kRecords);
    memory.write(out.records, records.data(), sizeof(Record) * kRecords);
    out.recordCount = kRecords;

    const auto drawEntity = [&](std::size_t index) {
        Entity e;
        std::memset(&e, 0, sizeof e);
        e.moduleData = world;
        e.name = putText(utf8Of(drawText(draws)));
        e.health = draws.uniform(-100000, 100000);
        e.x = static_cast<float>(draws.uniform(-10000, 10000));
        e.y = static_cast<float>(draws.uniform(-10000, 10000));
        e.level = draws.int32();
        e.score = draws.int32();
        e.experience = draws.int64();
        e.foe = kFoe[index] ? 1 : 0;
        e.team = kFoe[index] ? 2 : 1;
        e.aggression = kFoe[index] ? 0.75 : 0.25;
        return e;
    };
    std::vector<Entity> entities;
    for (std::size_t i = 0; i < kEntities; ++i) entities.push_back(drawEntity(i));
    out.entities = memory.allocate(sizeof(Entity) * kEntities);
    memory.write(out.entities, entities.data(), sizeof(Entity) * kEntities);

    std::uint64_t slots[kEntities];
    for (std::size_t i = 0; i < kEntities; ++i) {
        const Entity e = drawEntity(i);
        // Uneven gaps between them, so that they are not an inline array.
        memory.allocate(16 * (1 + i % 3));
        slots[i] = memory.allocate(sizeof(Entity));
        memory.write(slots[i], &e, sizeof e);
    }
    out.table = memory.allocate(sizeof slots);
    memory.write(out.table, slots, sizeof slots);
    memory.write(world, &out, sizeof out);
    return out;
}

}  // namespace corvane::sample
