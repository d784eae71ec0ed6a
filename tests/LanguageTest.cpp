// The language of the program's texts, and the problem log kept from the
// run before.
#include "TestUtil.h"
#include "base/Translate.h"
#include "files/ProblemLog.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tappo {
namespace {

TEST(Language, EnglishUnlessTheLocaleIsJapaneseOrC) {
    const char* unset = nullptr;
    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
    EXPECT_FALSE(WantsEnglish(unset, unset, unset, unset));
    EXPECT_FALSE(WantsEnglish(unset, unset, unset, "C"));
    EXPECT_FALSE(WantsEnglish(unset, unset, unset, "C.UTF-8"));
    EXPECT_FALSE(WantsEnglish(unset, unset, unset, "POSIX"));
    EXPECT_FALSE(WantsEnglish(unset, unset, unset, "ja_JP.UTF-8"));
    EXPECT_TRUE(WantsEnglish(unset, unset, unset, "de_DE.UTF-8"));
    EXPECT_TRUE(WantsEnglish(unset, unset, unset, "en_GB.UTF-8"));
    EXPECT_TRUE(WantsEnglish(unset, unset, "fr_FR.UTF-8", "ja_JP.UTF-8")) << "LC_MESSAGES first";
    EXPECT_FALSE(WantsEnglish(unset, "C", "fr_FR.UTF-8", unset)) << "LC_ALL before both";
    EXPECT_FALSE(WantsEnglish("ja:en", unset, unset, "de_DE.UTF-8")) << "LANGUAGE decides";
    EXPECT_TRUE(WantsEnglish("de", unset, unset, "ja_JP.UTF-8"));
    EXPECT_FALSE(WantsEnglish("de", unset, unset, "C")) << "as gettext: not under C";
    EXPECT_TRUE(WantsEnglish("", unset, unset, "it_IT")) << "an empty variable is unset";
}

TEST(ProblemLog, TheRunBeforeIsKeptAsDotOne) {
    test::TempDir dir;
    const std::string path = dir.File("ddsd.debug");
    std::ofstream(path) << "debug#00001 ... the run before\n";
    ProblemLog log(path);
    log.Report("this run");
    log.Report("and again");
    EXPECT_EQ(test::LogLines(path + ".1"),
              std::vector<std::string>{"debug#00001 ... the run before"});
    EXPECT_EQ(test::LogLines(path),
              (std::vector<std::string>{"debug#00001 ... this run", "debug#00002 ... and again"}));
}

} // namespace
} // namespace tappo
