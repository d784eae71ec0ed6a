// The problem log of a read-only install goes to the user's state folder.
#include "files/StateFolder.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tappo {
namespace {

class Environment {
  public:
    Environment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~Environment() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

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
