#pragma once

namespace corvane {

// bench --dissect [--repeats N]: the time of one refresh of 结构分析's view.
int runDissectBench(int argc, char** argv);

}  // namespace corvane
