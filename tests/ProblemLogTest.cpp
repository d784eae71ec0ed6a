// The problem log: a FIFO or a link in its place.
#include "files/ProblemLog.h"
#include "TestUtil.h"
#include "base/Report.h"
#include "files/Files.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tappo;
using namespace tappo::test;

// A FIFO in the log's place must not stall the player waiting for a reader:
// the report runs in a child that gets half a minute before it counts as hung.
TEST(ProblemLog, AFifoInTheLogsPlaceIsNotWaitedOn) {
    TempDir dir;
    const std::string fifo = dir.File("ddsd.debug");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ProblemLog(fifo).Report("problem");
        _exit(0);
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 3000 && done == 0; ++i) {
        done = waitpid(child, &status, WNOHANG);
        if (done == 0) usleep(10000);
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    EXPECT_EQ(done, child) << "the report hung on the FIFO";
    struct stat st {};
    EXPECT_TRUE(lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// A link in the log's place is not followed: its target keeps its bytes, and
// the console says once why there is no log.
TEST(ProblemLog, ALinkInTheLogsPlaceLeavesItsTargetAlone) {
    TempDir dir;
    WriteFileAtomic(dir.File("precious"), {'k', 'e', 'e', 'p'});
    ASSERT_EQ(symlink(dir.File("precious").c_str(), dir.File("ddsd.debug").c_str()), 0);
    std::vector<std::string> console;
    const ConsoleSink previous =
        SetConsoleSink([&](const std::string& line) { console.push_back(line); });
    ProblemLog log(dir.File("ddsd.debug"));
    log.Report("first");
    log.Report("second");
    SetConsoleSink(previous);
    EXPECT_EQ(ReadWholeFile(dir.File("precious")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    ASSERT_EQ(console.size(), 1u);
    EXPECT_NE(console[0].find("symbolic link"), std::string::npos) << console[0];
}
