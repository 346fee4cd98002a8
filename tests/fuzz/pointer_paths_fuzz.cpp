// The pointer paths file: whatever bytes it holds, the reader takes every
// line or names the first that is no path; what it takes, written and read
// again, is the same paths; and a path made of any parts reads back as made.

#include <sstream>
#include <string>
#include <vector>

#include "engine/files/pointer_paths_file.h"
#include "engine/target/module_lookup.h"
#include "engine/text/text_codec.h"
#include "tests/fuzz/fuzz_support.h"

namespace corvane::fuzz {
namespace {

std::string written(const std::vector<PointerPath>& paths) {
    std::ostringstream out;
    writePointerPaths(out, paths, systemTextCodec());
    return out.str();
}

PointerPathsRead read(const std::string& text) {
    std::istringstream in(text);
    return readPointerPaths(in, systemTextCodec());
}

void checkFileRoundTrip(const std::string& bytes) {
    const PointerPathsRead first = read(bytes);
    FUZZ_CHECK((first.badLine == 0) == first.problem.empty(), first.problem);
    if (first.badLine != 0) return;
    const std::string text = written(first.paths);
    const PointerPathsRead again = read(text);
    FUZZ_CHECK(again.badLine == 0, again.problem + "\n  " + hexOf(text));
    FUZZ_CHECK(again.paths == first.paths, hexOf(text));
    FUZZ_CHECK(written(again.paths) == text, hexOf(text));
}

void checkPathRoundTrip(Input& input) {
    PointerPath path;
    path.module = input.text(24);
    path.start = input.integer(input.byte() % 9);
    const std::size_t levels = 1 + input.byte() % 10;
    for (std::size_t i = 0; i < levels; ++i)
        path.offsets.push_back(static_cast<std::int64_t>(input.integer(input.byte() % 9)));
    const std::string text = pointerPathText(path);
    const std::optional<PointerPath> back = parsePointerPath(text);
    const bool writable = isWritableModuleName(path.module);
    FUZZ_CHECK(back.has_value() == writable, hexOf(text));
    if (back) FUZZ_CHECK(*back == path, hexOf(text));
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane::fuzz;
    return fuzzDecodedOrBytes(data, size, checkPathRoundTrip, checkFileRoundTrip);
}
