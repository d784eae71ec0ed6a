// The standard reading's library and mix: every chart extension listed, 256
// voices that give up the oldest keysound first, "#VOLWAV", and the limiter.
#include "HeadlessPlayer.h"
#include "audio/TestAccess.h"
#include "chart/Reading.h"
#include "files/Files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<uint8_t> Constant(int16_t value, double seconds) {
    return tools::EncodeWav16(std::vector<int16_t>(size_t(seconds * 44100), value), 1, 44100);
}

std::vector<uint8_t> Sine(double amplitude, double seconds) {
    std::vector<int16_t> s(size_t(seconds * 44100));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(std::lround(amplitude * std::sin(double(i) * 2 * M_PI * 220 / 44100)));
    return tools::EncodeWav16(s, 1, 44100);
}

// `count` objects of channel `channel` evenly over measure 1, slots 1 to count.
std::string Spread(const std::string& channel, int count) {
    std::string chart = "#BPM 120\n";
    std::string line = "#001" + channel + ":";
    for (int i = 1; i <= count; ++i) {
        chart += "#WAV" + standard::SlotText(i) + " s.wav\n";
        line += standard::SlotText(i);
    }
    return chart + line + "\n";
}

} // namespace

TEST(StandardMix, EveryChartExtensionIsListedInNameOrder) {
    for (const bool standard : {false, true}) {
        HeadlessPlayer f;
        if (standard) f.reading = StandardReading();
        for (const char* name :
             {"song.pms", "song.BME", "song.bml", "song.bms", "song.bmson", "song.txt"})
            f.Write(std::string("songs/s/") + name, Bytes("#TITLE x\n#00111:01\n"));
        std::filesystem::create_directories(f.dir.File("songs/s/folder.bme"));
        f.songsFolder = f.dir.File("songs");
        f.Start({});
        std::vector<std::string> names;
        for (const std::string& chart : f.player->Status().Songs().ChartList)
            names.push_back(std::filesystem::path(chart).filename().string());
        if (standard)
            EXPECT_EQ(names, (std::vector<std::string>{"song.BME", "song.bml", "song.bms",
                                                       "song.bmson", "song.pms"}));
        else
            EXPECT_EQ(names, std::vector<std::string>{"song.bms"});
    }
}

TEST(StandardMix, TwoHundredFiftySixSoundsAreHeardAtOnceAndTheLossBeyondIsLogged) {
    HeadlessPlayer f;
    f.reading = StandardReading();
    f.Write("s/s.wav", Constant(50, 4));
    f.Write("s/a.bms", Bytes(Spread("11", 300)));
    f.Start({f.dir.File("s/a.bms")});
    ASSERT_TRUE(f.PassGate());
    f.RunTo(5100); // measure 1 is 3000 to 5000 ms: every sound has started
    EXPECT_EQ(f.Playing(), 256);
    EXPECT_EQ(f.Pull(16)[0], 256 * 50);
    const VoiceLosses lost = MixerTestAccess::Losses(f.player->SoundOutput());
    EXPECT_EQ(lost.Cut, 300 - 256);
    EXPECT_EQ(lost.Dropped, 0);
    f.player->LeavePlay();
    const std::vector<std::string> log = LogLines(f.dir.File("ddsd.debug"));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(
        log.back().find("44 個の音を途中で止め、0 個の音を鳴らせませんでした (256 チャンネル)"),
        std::string::npos);
}

TEST(StandardMix, ANewSoundTakesTheOldestKeysoundNeverABackgroundOne) {
    TempDir dir;
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    sound.UseStandardMixing(true);
    MixerTestAccess::SetLimiter(sound, false);
    auto load = [&](int16_t value) {
        WriteFileAtomic(dir.File("v.wav"), Constant(value, 1));
        return sound.LoadSample(dir.File("v.wav"));
    };
    const auto background = load(1), oldest = load(7), key = load(2), loud = load(1000);
    for (int i = 0; i < 3; ++i)
        sound.StartVoice(background.get(), -1, true);
    sound.StartVoice(oldest.get(), -1, false);
    for (int i = 4; i < 256; ++i)
        sound.StartVoice(key.get(), -1, false);
    auto level = [&] {
        int16_t out[2];
        sound.Mix(out, 1);
        return out[0];
    };
    EXPECT_EQ(level(), 3 + 7 + 252 * 2);
    sound.StartVoice(loud.get(), -1, false);
    EXPECT_EQ(level(), 3 + 252 * 2 + 1000) << "the oldest keysound gave up its channel";
    sound.StartVoice(loud.get(), -1, true);
    EXPECT_EQ(level(), 3 + 251 * 2 + 2000) << "so does the next oldest, for a background sound";

    MixerTestAccess::StopAll(sound);
    for (int i = 0; i < 256; ++i)
        sound.StartVoice(background.get(), -1, true);
    sound.StartVoice(loud.get(), -1, false);
    EXPECT_EQ(level(), 256) << "background sounds are never cut: the new sound is dropped";
    EXPECT_EQ(MixerTestAccess::Losses(sound).Cut, 2);
    EXPECT_EQ(MixerTestAccess::Losses(sound).Dropped, 1);
}

TEST(StandardMix, VolWavScalesEveryKeysound) {
    auto level = [](const std::string& header) {
        HeadlessPlayer f;
        f.reading = StandardReading();
        f.Write("s/s.wav", Constant(1001, 2));
        f.Write("s/a.bms", Bytes(header + "#WAV01 s.wav\n#00011:01\n#00001:01\n"));
        f.Start({f.dir.File("s/a.bms")});
        f.PassGate();
        f.RunTo(1100);
        return f.Pull(16)[0];
    };
    EXPECT_EQ(level(""), 2002);
    EXPECT_EQ(level("#VOLWAV 50\n"), 1001);
    EXPECT_EQ(level("#VOLWAV 300\n"), 6006);
}

namespace {

// A mix of the standard reading: each sound of `sounds` (file, start frame)
// started at its frame, `frames` frames mixed in blocks of 512.
std::vector<int16_t> Render(const std::vector<std::pair<std::vector<uint8_t>, int64_t>>& sounds,
                            int frames, bool limiter) {
    TempDir dir;
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    sound.UseStandardMixing(true);
    MixerTestAccess::SetLimiter(sound, limiter);
    std::vector<std::unique_ptr<Sample>> samples;
    for (const auto& [bytes, frame] : sounds) {
        WriteFileAtomic(dir.File("s.wav"), bytes);
        samples.push_back(sound.LoadSample(dir.File("s.wav")));
        sound.StartVoice(samples.back().get(), frame, false);
    }
    std::vector<int16_t> out(size_t(frames) * 2);
    for (int at = 0; at < frames; at += 512)
        sound.Mix(out.data() + at * 2, std::min(512, frames - at));
    return out;
}

double RmsDb(const std::vector<int16_t>& s, int from, int to) {
    double sum = 0;
    for (int i = from * 2; i < to * 2; ++i)
        sum += double(s[size_t(i)]) * s[size_t(i)];
    return 10 * std::log10(sum / (to - from) / 2);
}

} // namespace

TEST(StandardMix, TheLimiterKeepsALoudSumOffFullScaleAndLeavesQuietMixesAlone) {
    // Three sines of 31,000 in phase: a sum of 93,000, +9 dBFS. Then, from
    // 1.5 s, a quiet sine alone.
    const auto loud = Sine(31000, 1), quiet = Sine(3000, 1);
    const std::vector<std::pair<std::vector<uint8_t>, int64_t>> song = {
        {loud, 0}, {loud, 0}, {loud, 0}, {quiet, 66150}};
    const int frames = 44100 * 5 / 2;
    const auto limited = Render(song, frames, true);
    int peak = 0;
    for (int16_t s : limited)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_LT(peak, 32767) << "no sample at full scale";
    EXPECT_GT(peak, 26000) << "and still loud";
    EXPECT_EQ(limited, Render(song, frames, true)) << "the same every time";
    const auto plain = Render(song, frames, false);
    EXPECT_NEAR(RmsDb(limited, 66150, 110250), RmsDb(plain, 66150, 110250), 0.5)
        << "the quiet part at its own level";

    const std::vector<std::pair<std::vector<uint8_t>, int64_t>> quietSong = {{Sine(8000, 1), 100},
                                                                             {Sine(8000, 1), 300}};
    EXPECT_EQ(Render(quietSong, 44100, true), Render(quietSong, 44100, false))
        << "a quiet mix is not touched";
}
