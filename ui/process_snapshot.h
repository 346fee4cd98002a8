#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace corvane {

// One running process as the process list shows it. Texts are in code
// page 936, like every other text of the program.
struct ProcessRow {
    std::string exeName;
    DWORD pid = 0;
    std::string path;  // the current directory, then the executable name
};

// The current directory that a process's parameters record, read through
// its process environment block; empty when the process cannot be opened
// for query and read or its blocks cannot be read.
std::string processCurrentDirectory(DWORD pid);

// Every process whose current directory can be read, in snapshot order;
// nothing when the snapshot itself fails (`snapshotTaken` says which).
std::vector<ProcessRow> listProcesses(bool* snapshotTaken = nullptr);

}  // namespace corvane
