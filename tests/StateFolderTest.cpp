// The problem log of a read-only install goes to the user's state folder.
#include "files/StateFolder.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tappo {
namespace {

using test::Environment;

TEST(ProblemLog, StaysInAWritableProgramFolder) {
    test::TempDir dir;
    EXPECT_EQ(ProblemLogPath(dir.Folder()), dir.Folder() + "ddsd.debug");
}

TEST(ProblemLog, MovesToTheStateFolderWhenTheProgramFolderIsReadOnly) {
    test::TempDir dir;
    {
        Environment state("XDG_STATE_HOME", dir.File("state"));
        EXPECT_EQ(ProblemLogPath(dir.File("program") + "/", false),
                  dir.File("state") + "/tappoplayer/ddsd.debug");
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("state") + "/tappoplayer"));
    }
    {
        Environment state("XDG_STATE_HOME", "relative/ignored");
        Environment home("HOME", dir.File("home"));
        EXPECT_EQ(ProblemLogPath(dir.File("program") + "/", false),
                  dir.File("home") + "/.local/state/tappoplayer/ddsd.debug");
    }
}

} // namespace
} // namespace tappo
