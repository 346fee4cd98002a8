#include "ui/snapshot_budget.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "settings/profile.h"

namespace corvane {

std::uint64_t snapshotBudgetBytes(std::u16string_view configFile) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    const std::uint64_t physical = GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : std::uint64_t{4} << 30;
    std::uint64_t budget = physical / 4;
    const std::string text = profileReadString(configFile, "Corvane", "SnapshotBudgetMiB", "");
    if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos) {
        const std::uint64_t mebibytes = std::stoull(text);
        if (mebibytes > 0) budget = std::min(budget, mebibytes << 20);
    }
    return budget;
}

bool processRuns(std::uint32_t pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

}  // namespace corvane
