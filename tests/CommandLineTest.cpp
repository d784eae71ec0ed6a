#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace tappo;

TEST(CommandLine, OptionsAndTheChartArgument) {
    CommandLine cl =
        ParseCommandLine({"--headless", "--frames", "120", "--frame-ms", "16", "--screenshot",
                          "100:err.png", "--screenshot", "5:C:/a.png", "song.bms", "more.bms"});
    EXPECT_TRUE(cl.Error.empty()) << cl.Error;
    EXPECT_TRUE(cl.Headless);
    EXPECT_FALSE(cl.Windowed);
    EXPECT_EQ(cl.Frames, 120);
    EXPECT_EQ(cl.FrameMs, 16);
    ASSERT_EQ(cl.Screenshots.size(), 2u);
    EXPECT_EQ(cl.Screenshots[0], (std::pair<long, std::string>{100, "err.png"}));
    EXPECT_EQ(cl.Screenshots[1].second, "C:/a.png") << "only the first colon splits";
    EXPECT_EQ(cl.Arguments, (std::vector<std::string>{"song.bms", "more.bms"}));

    CommandLine defaults = ParseCommandLine({});
    EXPECT_EQ(defaults.Frames, -1);
    EXPECT_EQ(defaults.FrameMs, 10);
    EXPECT_TRUE(defaults.Arguments.empty());

    CommandLine dashed = ParseCommandLine({"--windowed", "--", "-odd name.bms"});
    EXPECT_TRUE(dashed.Windowed);
    EXPECT_EQ(dashed.Arguments, std::vector<std::string>{"-odd name.bms"});
}

TEST(CommandLine, ToolsAndFolders) {
    CommandLine cl = ParseCommandLine(
        {"--songs", "/music", "--audio-buffer", "256", "--render-wav", "out.wav", "song.bms"});
    EXPECT_TRUE(cl.Error.empty()) << cl.Error;
    EXPECT_EQ(cl.Songs, std::vector<std::string>{"/music"});
    EXPECT_EQ(cl.AudioBufferFrames, 256);
    EXPECT_EQ(cl.RenderWav, "out.wav");
    EXPECT_EQ(cl.Arguments, std::vector<std::string>{"song.bms"});
    EXPECT_EQ(ParseCommandLine({"--inspect", "a.bms"}).Inspect, "a.bms");
    EXPECT_FALSE(ParseCommandLine({"--render-wav", "out.wav"}).Error.empty())
        << "nothing to render";
    EXPECT_FALSE(ParseCommandLine({"--audio-buffer", "32"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--songs"}).Error.empty());
    EXPECT_TRUE(ChartReadingOf(ParseCommandLine({"--lanes", "arrows"}), false).ArrowLanes);
    EXPECT_FALSE(ChartReadingOf(ParseCommandLine({"--lanes", "keys"}), false).ArrowLanes);
    const CommandLine scan = ParseCommandLine({"--scan", "--library-db", "/tmp/l.db"});
    EXPECT_TRUE(scan.Scan);
    EXPECT_EQ(scan.LibraryDb, "/tmp/l.db");
    EXPECT_FALSE(ParseCommandLine({"--library-db"}).Error.empty());
}

TEST(CommandLine, OverridesTheSettingsForOneRun) {
    Settings saved;
    saved.Songs = {"/saved"};
    saved.Standard = true;
    saved.Scale = 3;
    saved.Windowed = true;
    saved.AudioBufferFrames = 1024;
    saved.Volume = 40;
    CommandLine none = ParseCommandLine({});
    ApplySettings(none, saved);
    EXPECT_EQ(none.Songs, std::vector<std::string>{"/saved"});
    EXPECT_TRUE(none.Standard && none.Windowed);
    EXPECT_EQ(none.Scale, 3);
    EXPECT_EQ(none.AudioBufferFrames, 1024);
    EXPECT_EQ(none.Volume, 40);

    CommandLine given =
        ParseCommandLine({"--songs", "/a", "--songs", "/b", "--exact", "--full-screen", "--scale",
                          "2", "--audio-buffer", "256", "--volume", "0", "--save-settings"});
    ASSERT_TRUE(given.Error.empty()) << given.Error;
    ApplySettings(given, saved);
    EXPECT_EQ(given.Songs, (std::vector<std::string>{"/a", "/b"})) << "--songs repeats";
    EXPECT_FALSE(given.Standard || given.Windowed);
    EXPECT_EQ(given.Scale, 2);
    EXPECT_EQ(given.AudioBufferFrames, 256);
    EXPECT_EQ(given.Volume, 0);
    EXPECT_EQ(given.Given.Volume, 0);
    EXPECT_TRUE(given.SaveSettings);
    EXPECT_EQ(given.Given.Songs, given.Songs);
    EXPECT_EQ(given.Given.Standard, false);
    EXPECT_FALSE(ParseCommandLine({"--headless"}).Given.Standard.has_value())
        << "what the command line leaves alone is not saved";
}

TEST(CommandLine, MistakesAreReported) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--frames"},
                                                                  {"--frames", "x"},
                                                                  {"--frames", "-1"},
                                                                  {"--frame-ms", "0"},
                                                                  {"--screenshot", "100"},
                                                                  {"--screenshot", "0:a.png"},
                                                                  {"--screenshot", "7:"},
                                                                  {"--scale", "99"},
                                                                  {"--volume", "101"},
                                                                  {"--lanes", "four"},
                                                                  {"--video-scale", "0"},
                                                                  {"--video-fps", "241"},
                                                                  {"--video-crf", "52"},
                                                                  {"--video-preset", "fastest"},
                                                                  {"--chart-image-measures", "65"},
                                                                  {"--chart-image", "a.png"},
                                                                  {"--bogus"}}) {
        EXPECT_FALSE(ParseCommandLine(args).Error.empty()) << args[0];
    }
    EXPECT_NE(UsageText().find("--headless"), std::string::npos);
}

// A video render is refused before any work when it cannot be made: no
// chart, a file type the writer does not know, a WAV render beside it.
TEST(CommandLine, VideoRendersAreCheckedAtOnce) {
    EXPECT_TRUE(ParseCommandLine({"--render-video", "a.MKV", "x.bms"}).Error.empty());
    EXPECT_TRUE(ParseCommandLine({"--render-video", "a.mp4", "x.bms"}).Error.empty());
    EXPECT_TRUE(ParseCommandLine({"--render-video", "a.webm", "x.bms"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--render-video", "a.mkv"}).Error.empty());
    EXPECT_NE(ParseCommandLine({"--render-video", "a.avi", "x.bms"}).Error.find("a.avi"),
              std::string::npos);
    EXPECT_FALSE(ParseCommandLine({"--render-video", ".mkv", "x.bms"}).Error.empty());
    EXPECT_FALSE(ParseCommandLine({"--render-video", "a.mkv", "--render-wav", "a.wav", "x.bms"})
                     .Error.empty());
    const CommandLine cl = ParseCommandLine(
        {"--video-scale", "2", "--video-fps", "30", "--video-preset", "slow", "x.bms"});
    EXPECT_EQ(cl.VideoScale, 2);
    EXPECT_EQ(cl.VideoFps, 30);
    EXPECT_EQ(cl.VideoPreset, "slow");
    const CommandLine image =
        ParseCommandLine({"--chart-image", "a.png", "--chart-image-measures", "8", "x.bms"});
    EXPECT_EQ(image.ChartImage, "a.png");
    EXPECT_EQ(image.ChartImageMeasures, 8);
}
