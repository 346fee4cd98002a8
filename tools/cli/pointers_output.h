#pragma once

// What the pointer commands share: where the paths go, the stop Ctrl+C
// raises and the figures a scan ends with.

#include <fstream>
#include <string>

#include "engine/kit/stop_flag.h"
#include "engine/pointers/pointer_path.h"
#include "engine/pointers/pointer_scan.h"
#include "tools/cli/cli_failure.h"

namespace corvane {

// Standard output, or the --out file.
class PathOutput {
public:
    explicit PathOutput(const std::string& file);
    std::ostream& stream();
    void write(const PointerPath& path);
    bool finish();

private:
    std::ofstream file_;
};

// The stop Ctrl+C raises while this lives.
class StopRegistration {
public:
    explicit StopRegistration(StopFlag& stop);
    ~StopRegistration();
    StopRegistration(const StopRegistration&) = delete;
    StopRegistration& operator=(const StopRegistration&) = delete;
};

// The figures after a scan or a comparison.
void printScanReport(const PointerScanReport& report);

// The progress line's text for a scan.
std::string scanProgress(const PointerScanProgress& progress);

}  // namespace corvane
