// The problem log of a read-only install goes to the user's state folder.
#include "files/StateFolder.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tappo {
namespace {

class TEnvironment {
  public:
    TEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~TEnvironment() {
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
    test::TTempDir dir;
    EXPECT_EQ(ProblemLogPath(dir.Folder()), dir.Folder() + "ddsd.debug");
}

TEST(ProblemLog, MovesToTheStateFolderWhenTheProgramFolderIsReadOnly) {
    test::TTempDir dir;
    {
        TEnvironment state("XDG_STATE_HOME", dir.File("state"));
        EXPECT_EQ(ProblemLogPath(dir.File("program") + "/", false),
                  dir.File("state") + "/tappoplayer/ddsd.debug");
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("state") + "/tappoplayer"));
    }
    {
        TEnvironment state("XDG_STATE_HOME", "relative/ignored");
        TEnvironment home("HOME", dir.File("home"));
        EXPECT_EQ(ProblemLogPath(dir.File("program") + "/", false),
                  dir.File("home") + "/.local/state/tappoplayer/ddsd.debug");
    }
}

} // namespace
} // namespace tappo
