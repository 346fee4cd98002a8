// The snapshot file: a file that reads is written back and read again to the
// same snapshot, and written again to the same bytes; a damaged one is
// refused with a reason, never read past its end nor trusted for a size.

#include <sstream>
#include <string>

#include "engine/files/snapshot_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    using namespace corvane::fuzz;
    const InputScope scope(data, size);
    std::stringstream file(std::string(reinterpret_cast<const char*>(data), size));
    MemorySnapshot first;
    std::string error;
    if (!readSnapshotFile(file, first, error)) {
        FUZZ_CHECK(!error.empty(), "a refusal without a reason");
        return 0;
    }
    std::stringstream written;
    writeSnapshotFile(written, first);
    const std::string text = written.str();
    MemorySnapshot second;
    std::stringstream again(text);
    FUZZ_CHECK(readSnapshotFile(again, second, error), "what was written does not read: " + error);
    FUZZ_CHECK(second.sameAs(first), "read back, another snapshot");
    FUZZ_CHECK(second.addressCount() == first.addressCount(), "another address count");
    std::stringstream rewritten;
    writeSnapshotFile(rewritten, second);
    FUZZ_CHECK(rewritten.str() == text, "writing again changed the file");
    return 0;
}
