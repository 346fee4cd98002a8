// Ctrl+C stops a first search of the command line as the stop button does:
// the results so far are written and the run ends normally.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/tools/native_child.h"

extern char** environ;

namespace corvane {
namespace {

TEST(CliInterrupt, InterruptStopsAFirstSearchAndEndsNormally) {
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_addclose(&actions, errors[0]);
    // Two billion pointer reads, 8 KiB apart, mostly of nothing: hours unless stopped.
    const std::string pid = std::to_string(getpid());
    const char* argv[] = {CORVANE_CLI_PATH,           "first", "--pid", pid.c_str(), "--structure",
                          "10000*2000000000*8192]0]", nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, CORVANE_CLI_PATH, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(errors[1]);

    // Well into the search, not only at its start.
    ASSERT_TRUE(test::waitUntilCatchesInterrupt(child, std::chrono::milliseconds(300)));
    ASSERT_EQ(kill(child, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::string message;
    char buffer[256];
    for (ssize_t got; (got = read(errors[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<std::size_t>(got));
    close(errors[0]);
    ASSERT_TRUE(WIFEXITED(status)) << message;
    EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    EXPECT_NE(message.find("(stopped)"), std::string::npos) << message;
}

// Ctrl+C while the snapshot of a memory row streams to its file: nothing is
// left at the file's name, nor the part written so far.
TEST(CliInterrupt, InterruptWhileASnapshotStreamsLeavesNoFile) {
    // This process's own memory is the target, with 16 GiB never touched:
    // read as zero pages for far longer than the test waits.
    constexpr std::size_t kUntouched = std::size_t{16} << 30;
    void* untouched =
        mmap(nullptr, kUntouched, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(untouched, MAP_FAILED);
    const std::string out = "/tmp/corvane_interrupted_" + std::to_string(getpid()) + ".snap";
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_addclose(&actions, errors[0]);
    const std::string pid = std::to_string(getpid());
    const char* argv[] = {CORVANE_CLI_PATH, "first", "--pid", pid.c_str(), "--structure", "memory]",
                          "--condition",    "0",     "--out", out.c_str(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, CORVANE_CLI_PATH, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(errors[1]);
    // The part file appears once the first region is read.
    const std::string part = out + ".part";
    for (int wait = 0; wait < 100 && access(part.c_str(), F_OK) != 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(access(part.c_str(), F_OK), 0) << "the snapshot streams to its part file";
    ASSERT_EQ(kill(child, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::string message;
    char buffer[256];
    for (ssize_t got; (got = read(errors[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<std::size_t>(got));
    close(errors[0]);
    ASSERT_TRUE(WIFEXITED(status)) << message;
    EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    EXPECT_NE(message.find("(stopped)"), std::string::npos) << message;
    EXPECT_NE(access(out.c_str(), F_OK), 0) << "no file that looks whole";
    EXPECT_NE(access(part.c_str(), F_OK), 0) << "no part left behind";
    unlink(out.c_str());
    unlink(part.c_str());
    munmap(untouched, kUntouched);
}

}  // namespace
}  // namespace corvane
