#include "tools/cli/dissect_command.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "engine/dissect/dissect_view.h"
#include "engine/text/hex_text.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf8_encode.h"

namespace corvane {

const char* const kDissectUsage =
    "  corvane-cli dissect --pid PID (--address HEX | --structure TEXT) [--offset HEX]\n"
    "                      [--size HEX] [--compare HEX,HEX,...] [--groups AB...]\n"
    "  reads the memory around an address (or a path's or one-leaf structure's leaf) once\n"
    "  and writes one line per pointer-wide field, tab-separated: offset, kind guessed\n"
    "  (pointer, gbk, utf16, utf8, double, float, int32, int64, zero, text+ inside a text,\n"
    "  float/int32 and the like for two 4-byte halves), the value in each instance and\n"
    "  differ or same. --offset (0, may be negative: -40) and --size (100, at most 10000)\n"
    "  set the range; --compare adds objects; --groups gives each instance, the --address\n"
    "  one first, the letter A or B (- for neither) and keeps only the fields whose value\n"
    "  is the same within each group and differs between them.\n";

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotOpen = 3;
constexpr int kExitNotFound = 4;

std::string utf8(const std::string& gbk) {
    std::u16string wide;
    if (!systemTextCodec().toUtf16(gbk, CodePage::Gbk, wide)) return gbk;
    return encodeUtf8(wide);
}

std::string offsetText(std::int64_t offset) {
    std::string text = offset < 0 ? "-" : "";
    appendHex(text, offset < 0 ? 0 - static_cast<std::uint64_t>(offset) : static_cast<std::uint64_t>(offset));
    return text;
}

}  // namespace

std::string parseDissectOptions(const std::vector<std::string>& args, DissectOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return name + " needs a value";
        const std::string& value = args[++i];
        if (name == "--pid") {
            std::uint32_t pid = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
            if (error != std::errc() || end != value.data() + value.size()) return "--pid takes a number";
            options.pid = pid;
        } else if (name == "--address" || name == "--structure") {
            if (!options.where.empty()) return "give one of --address and --structure";
            options.where = value;
            std::uint64_t address = 0;
            if (name == "--address" && !parseAddressHex(value, address)) return "--address takes a hexadecimal address";
        } else if (name == "--offset") {
            if (!parseSignedHex(value, options.offset)) return "--offset takes a hexadecimal offset";
        } else if (name == "--size") {
            std::uint64_t size = 0;
            if (!parseAddressHex(value, size) || size == 0 || size > 0x10000)
                return "--size takes a hexadecimal size from 1 to 10000";
            options.size = static_cast<std::int64_t>(size);
        } else if (name == "--compare") {
            std::size_t begin = 0;
            while (begin <= value.size()) {
                const std::size_t end = std::min(value.find(',', begin), value.size());
                std::uint64_t address = 0;
                if (!parseAddressHex(value.substr(begin, end - begin), address))
                    return "--compare takes hexadecimal addresses separated by commas";
                options.compare.push_back(address);
                begin = end + 1;
            }
        } else if (name == "--groups") {
            if (value.find_first_not_of("AB-") != std::string::npos) return "--groups takes the letters A, B and -";
            options.groups = value;
        } else {
            return "unknown option " + name;
        }
    }
    if (!options.pid) return "give --pid";
    if (options.where.empty()) return "give --address or --structure";
    if (!options.groups.empty() && options.groups.size() != options.compare.size() + 1)
        return "--groups needs one letter per instance: the --address one, then each of --compare";
    return {};
}

int runDissect(const DissectOptions& options, TargetAccess& target, RegionLookup* regions, ModuleLookup* modules,
               std::ostream& out) {
    if (const std::uint32_t error = target.openTarget()) {
        std::fprintf(stderr, "corvane-cli: cannot open process %u (error %u)\n", *options.pid, error);
        return kExitCannotOpen;
    }
    DissectView view(target, modules, regions, systemTextCodec());
    switch (view.open(options.where)) {
        case PathProblem::None: break;
        case PathProblem::ManyLeaves:
            std::fprintf(stderr, "corvane-cli: the structure has more than one leaf; dissect takes one object\n");
            return kExitUsage;
        case PathProblem::Malformed:
            std::fprintf(stderr, "corvane-cli: %s does not lead to an address in the target\n", options.where.c_str());
            return kExitNotFound;
    }
    view.setRange(options.offset, options.size);
    for (std::uint64_t address : options.compare) view.addInstance(address);
    for (std::size_t i = 0; i < options.groups.size(); ++i)
        view.setGroup(i, options.groups[i] == 'A' ? Group::A : options.groups[i] == 'B' ? Group::B : Group::None);
    view.refresh(0);
    for (std::size_t field = 0; field < view.fieldCount(); ++field) {
        if (!options.groups.empty() && !view.separates(field)) continue;
        std::string line = offsetText(view.fieldOffset(field));
        line += '\t';
        line += view.kindText(field);
        for (std::size_t instance = 0; instance < view.instances().size(); ++instance) {
            line += '\t';
            line += utf8(view.valueText(field, instance));
        }
        line += view.differs(field) ? "\tdiffer\n" : "\tsame\n";
        out << line;
    }
    out.flush();
    return out ? 0 : 1;
}

}  // namespace corvane
