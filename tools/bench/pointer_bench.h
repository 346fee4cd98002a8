#pragma once

namespace corvane {

// bench --pointers [--huge | --all] [--repeats N]: the pointer scan's figures.
int runPointerBench(int argc, char** argv);

}  // namespace corvane
