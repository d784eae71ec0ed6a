// Every console report goes through ReportOnConsole: the same "tappoplayer: "
// line on stderr whichever module makes it, captured here through the sink.
#include "base/Report.h"
#include "TestUtil.h"
#include "files/Files.h"
#include "platform/Font.h"
#include "platform/Music.h"
#include "platform/Platform.h"
#include "tools/Midi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tappo {
namespace {

// Collects console lines for the life of the object, then puts the old sink back.
class ConsoleCapture {
  public:
    ConsoleCapture()
        : previous_(SetConsoleSink([this](const std::string& line) { lines.push_back(line); })) {}
    ~ConsoleCapture() { SetConsoleSink(previous_); }
    std::vector<std::string> lines;

  private:
    ConsoleSink previous_;
};

TEST(Report, ConsoleLinesGoToStderrWithTheProgramName) {
    testing::internal::CaptureStderr();
    ReportOnConsole("ファイル a.bmp は開けません");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "tappoplayer: ファイル a.bmp は開けません\n");
}

TEST(Report, ASinkTakesTheLinesUntilItIsRemoved) {
    {
        ConsoleCapture capture;
        ReportOnConsole("one");
        ReportOnConsole("");
        EXPECT_EQ(capture.lines,
                  (std::vector<std::string>{"tappoplayer: one\n", "tappoplayer: \n"}));
    }
    testing::internal::CaptureStderr();
    ReportOnConsole("two");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "tappoplayer: two\n") << "stderr again";
}

TEST(Report, TheConsoleMessageBoxReportsItsText) {
    ConsoleCapture capture;
    StderrMessageBox box;
    box.Show("'00x' は整数ではありません");
    EXPECT_EQ(capture.lines,
              (std::vector<std::string>{"tappoplayer: '00x' は整数ではありません\n"}));
}

TEST(Report, AMissingFontIsReportedOnce) {
    ConsoleCapture capture;
    TextRenderer fonts("/nonexistent/font.ttf");
    fonts.Render(12, "abc");
    fonts.Render(16, "def");
    EXPECT_EQ(
        capture.lines,
        (std::vector<std::string>{
            "tappoplayer: cannot open the font /nonexistent/font.ttf; texts are not drawn\n"}));
}

TEST(Report, AMissingSoundfontIsReportedAndTheMusicOpens) {
    test::TempDir dir;
    tools::MidiSong song;
    song.Notes.push_back({0, 480, 0, 60, 100});
    WriteFileAtomic(dir.File("song.mid"), tools::EncodeMidi(song));
    ConsoleCapture capture;
    MusicPlayer music(dir.File("no-such.sf2"));
    music.FileName = dir.File("song.mid");
    music.Open();
    EXPECT_TRUE(music.IsOpen());
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0],
              "tappoplayer: no General MIDI soundfont could be loaded from " +
                  dir.File("no-such.sf2") +
                  "; music stays silent (install timgm6mb-soundfont or set TAPPO_SOUNDFONT)\n");
}

} // namespace
} // namespace tappo
