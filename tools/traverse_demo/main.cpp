// Starts the 64-bit sample target and shows, through the engine, the pointer
// paths, addresses and values that a few structures over it yield.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/candidate_store.h"
#include "engine/text_codec.h"
#include "engine/traversal.h"
#include "engine/value_text.h"
#include "engine/value_type.h"
#include "engine/win32/target_process.h"
#include "tools/sample_target/sample_layout.h"
#include "tools/sample_target/sample_process.h"

namespace {

using namespace corvane;

// The terminal under Wine speaks UTF-8; the value texts are code page 936.
std::string toTerminal(const std::string& gbk) {
    std::u16string wide;
    if (!systemTextCodec().toUtf16(gbk, CodePage::Gbk, wide)) return gbk;
    const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
    const int units_count = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, units, units_count, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, units, units_count, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

void show(TargetProcess& target, const char* title, std::vector<StructureRow> rows, ValueType type) {
    std::printf("\n%s\n", title);
    std::atomic<std::int32_t> stop{0};
    CandidateStore store;
    Traversal(target, stop, store).run(std::move(rows));
    std::vector<unsigned char> bytes(valueReadSize(type));
    for (std::size_t i = 0; i < store.candidateCount(); ++i) {
        const std::uint64_t address = store.address(i);
        std::string value = "(unreadable)";
        if (target.readTarget(address, bytes.data(), bytes.size()))
            value = toTerminal(valueText(type, 0, bytes.data(), systemTextCodec()));
        std::printf("  %-28s %12llX  %s\n", store.pathText(i).c_str(), static_cast<unsigned long long>(address),
                    value.c_str());
    }
    std::printf("  %zu candidates\n", store.candidateCount());
}

int run() {
    std::string why;
    auto process = sample::SampleProcess::start(false, false, why);
    if (!process) {
        std::fprintf(stderr, "cannot start the sample target: %s\n", why.c_str());
        return 1;
    }
    TargetProcess target;
    target.targetPid = process->pid();
    if (const DWORD error = target.openTarget()) {
        std::fprintf(stderr, "cannot open the sample target (error %lu)\n", error);
        return 1;
    }
    const auto root = static_cast<std::int64_t>(process->value("root"));
    const auto width = static_cast<std::int64_t>(target.pointerWidth());
    std::printf("sample target: pid %lu, %u-bit pointers, root table at %llX\n", process->pid(),
                target.pointerWidth() * 8, static_cast<unsigned long long>(root));

    show(target, "Structure 110000000*8*8]0]: each root slot's first field as 长整型", {{root, 8, width}, {0, 0, 0}},
         ValueType::Long);
    show(target, "Structure 110000000*8*8]8]0*4*4]: the first four data values of each object",
         {{root, 8, width}, {sample::kDataPointerOffset, 0, 0}, {0, 4, 4}}, ValueType::Long);
    show(target, "Structure 110000000*8*8]10]: 单精度", {{root, 8, width}, {sample::kSingleOffset, 0, 0}},
         ValueType::Single);
    show(target, "Structure 110000000*8*8]40]: A字符", {{root, 8, width}, {sample::kAnsiOffset, 0, 0}},
         ValueType::AnsiText);
    show(target, "Structure 110000000*8*8]80]: U字符", {{root, 8, width}, {sample::kUtf16Offset, 0, 0}},
         ValueType::Utf16Text);
    show(target, "Structure 110000000*8*8]C0]: UTF-8", {{root, 8, width}, {sample::kUtf8Offset, 0, 0}},
         ValueType::Utf8Text);
    return 0;
}

}  // namespace

int main() {
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}
