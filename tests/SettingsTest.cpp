// The user's settings file: reading it, a damaged one, and saving into it.
#include "app/Settings.h"
#include "files/Files.h"
#include "tests/TestUtil.h"

#include <gtest/gtest.h>

namespace tappo {
namespace {

using test::Environment;

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Settings, EveryKeyReadsAndDamagedLinesAreReportedAndSkipped) {
    Environment home("HOME", "/home/me");
    std::vector<std::string> problems;
    const Settings s = ParseSettings("# my settings\n"
                                     "songs = /music/bms  \n"
                                     "  songs=~/more\r\n"
                                     "reading = standard\n"
                                     "scale = 17\n"
                                     "colour = blue\n"
                                     "this line is damaged\n"
                                     "\n"
                                     "screen = window\n"
                                     "audio-buffer = 1024\n"
                                     "volume = 70\n"
                                     "table = http://x/t.html\n"
                                     "table = t.json\n"
                                     "table = ~/tables/t.json\n",
                                     "settings", problems);
    EXPECT_EQ(s.Songs, (std::vector<std::string>{"/music/bms", "/home/me/more"}));
    EXPECT_EQ(s.Standard, true);
    EXPECT_FALSE(s.Scale.has_value()) << "out of range: left out";
    EXPECT_EQ(s.Windowed, true);
    EXPECT_EQ(s.AudioBufferFrames, 1024) << "lines after the damaged ones still count";
    EXPECT_EQ(s.Volume, 70);
    EXPECT_EQ(s.Tables,
              (std::vector<std::string>{"http://x/t.html", "t.json", "/home/me/tables/t.json"}));
    EXPECT_EQ(problems,
              (std::vector<std::string>{"settings:5: scale is a whole number from 1 to 16, or auto",
                                        "settings:6: unknown key \"colour\"",
                                        "settings:7: not a \"key = value\" line"}));
    problems.clear();
    EXPECT_EQ(ParseSettings("scale = auto\nscreen = full\nreading = exact", "f", problems).Scale,
              0);
    EXPECT_TRUE(problems.empty());
}

TEST(Settings, SavingKeepsWhatTheFileHeldAndWritesWhatWasGiven) {
    test::TempDir dir;
    Environment config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string path = SettingsPath();
    EXPECT_EQ(path, dir.File("config") + "/tappoplayer/settings");
    std::vector<std::string> problems;
    EXPECT_FALSE(ReadSettingsFile(path, problems).Standard.has_value()) << "no file: no settings";
    EXPECT_TRUE(problems.empty());

    Settings first;
    first.Songs = {"/a", "/b"};
    first.Scale = 2;
    SaveSettings(path, first); // the folder is made
    WriteFileAtomic(path, [&] {
        const std::string text =
            ReadText(path) + "# mine\ncolour = blue\ntable = http://x/t.html\n";
        return std::vector<uint8_t>(text.begin(), text.end());
    }());

    Settings second;
    second.Songs = {"relative"};
    second.Standard = true;
    second.Volume = 40; // as the volume keys store it
    SaveSettings(path, second);
    const std::string text = ReadText(path);
    EXPECT_NE(text.find("# mine\ncolour = blue\n"), std::string::npos) << text;
    const Settings back = ReadSettingsFile(path, problems);
    EXPECT_EQ(back.Songs,
              std::vector<std::string>{std::filesystem::current_path().string() + "/relative"})
        << "the new folders replace the old, stored absolute";
    EXPECT_EQ(back.Scale, 2) << "kept";
    EXPECT_EQ(back.Standard, true);
    EXPECT_EQ(back.Volume, 40);
    EXPECT_EQ(back.Tables, std::vector<std::string>{"http://x/t.html"}) << "kept";
    EXPECT_EQ(problems, std::vector<std::string>{path + ":5: unknown key \"colour\""});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("config/tappoplayer")),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file stays behind";
}

TEST(Settings, TheSortIsKeptByItsNameAndABadOneLeftOut) {
    std::vector<std::string> problems;
    EXPECT_EQ(ParseSettings("sort = bpm\n", "f", problems).Sort, SongSort::Bpm);
    EXPECT_FALSE(ParseSettings("sort = sideways\n", "f", problems).Sort.has_value());
    EXPECT_EQ(problems.size(), 1u);
    Settings played;
    played.Sort = SongSort::LastPlayed;
    const std::string merged = MergeSettings("volume = 50\nsort = title\n", played);
    EXPECT_EQ(merged, "volume = 50\nsort = played\n");
    problems.clear();
    EXPECT_EQ(ParseSettings(merged, "f", problems).Sort, SongSort::LastPlayed);
}

TEST(Settings, AValueWithANulByteIsReportedAndLeftOut) {
    std::vector<std::string> problems;
    using namespace std::string_literals;
    const Settings s = ParseSettings("volume = 5\0 0\nscale = 2\n"s, "f", problems);
    EXPECT_FALSE(s.Volume.has_value()) << "not the 5 before the NUL";
    EXPECT_EQ(s.Scale, 2);
    EXPECT_EQ(problems, std::vector<std::string>{"f:1: the line holds a NUL byte"});
}

TEST(Settings, SavingWritesThroughAChainOfLinks) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.File("dotfiles/real"));
    std::filesystem::create_directories(dir.File("config"));
    WriteFileAtomic(dir.File("dotfiles/real/settings"), std::vector<uint8_t>{'#', '\n'});
    // config/settings -> ../dotfiles/settings (relative) -> real/settings (relative to its folder)
    std::filesystem::create_symlink("../dotfiles/settings", dir.File("config/settings"));
    std::filesystem::create_symlink("real/settings", dir.File("dotfiles/settings"));
    Settings given;
    given.Volume = 30;
    SaveSettings(dir.File("config/settings"), given);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("config/settings"))) << "the link stays";
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("dotfiles/settings")));
    EXPECT_EQ(ReadText(dir.File("dotfiles/real/settings")), "#\nvolume = 30\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("dotfiles/real")),
                            std::filesystem::directory_iterator()),
              1)
        << "the temporary file was made beside the target, and is gone";

    // A link to a file not made yet: made when its folder exists, else an error.
    std::filesystem::create_symlink(dir.File("dotfiles/new"), dir.File("config/new"));
    SaveSettings(dir.File("config/new"), given);
    EXPECT_NE(ReadText(dir.File("dotfiles/new")).find("volume = 30\n"), std::string::npos);
    std::filesystem::create_symlink(dir.File("nowhere/settings"), dir.File("config/lost"));
    EXPECT_THROW(SaveSettings(dir.File("config/lost"), given), Error);
    std::filesystem::create_symlink("loop", dir.File("config/loop"));
    EXPECT_THROW(SaveSettings(dir.File("config/loop"), given), Error);
}

} // namespace
} // namespace tappo
