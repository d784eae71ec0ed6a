// The playback rate: the song goes on at 0.5x to 2x, its sound time-stretched
// (the pitch kept) or resampled (the pitch moved), every sound where the
// chart's timing puts it divided by the rate.
#include "HeadlessPlayer.h"
#include "TestUtil.h"
#include "app/CommandLine.h"
#include "app/Runner.h"
#include "app/Settings.h"
#include "audio/RateStage.h"
#include "audio/TestAccess.h"
#include "chart/Reading.h"
#include "files/Files.h"
#include "tools/Assets.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace tappo;
using namespace tappo::test;

namespace {

constexpr double SineHz = 440;

std::vector<int16_t> Sine(int frames, double hz, int16_t amplitude) {
    std::vector<int16_t> s(static_cast<size_t>(frames));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(amplitude * std::sin(2 * M_PI * hz * double(i) / MixRate));
    return s;
}

// The frequency of the sound in [from, from + count) by its rising zero
// crossings, each placed between its two samples.
double Frequency(const std::vector<int16_t>& s, size_t from, size_t count) {
    std::vector<double> crossings;
    for (size_t i = from; i + 1 < from + count && i + 1 < s.size(); ++i)
        if (s[i] < 0 && s[i + 1] >= 0)
            crossings.push_back(double(i) + double(s[i]) / double(s[i] - s[i + 1]));
    if (crossings.size() < 2) return 0;
    return double(crossings.size() - 1) * MixRate / (crossings.back() - crossings.front());
}

double Cents(double hz, double reference) {
    return 1200 * std::log2(hz / reference);
}

// Where each sound starts: the first frame over `threshold` after a quiet
// stretch of at least 0.1 s.
std::vector<size_t> Onsets(const std::vector<int16_t>& s, int threshold) {
    std::vector<size_t> onsets;
    size_t last = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) <= threshold) continue;
        if (onsets.empty() || i - last > size_t(MixRate / 10)) onsets.push_back(i);
        last = i;
    }
    return onsets;
}

// A chart of half-second sine keysounds at 120 BPM, rendered at a rate; the
// left channel of the render, from the song's start.
struct SineRender {
    TempDir dir;
    SineRender() {
        tools::WriteProgramAssets(dir.Folder());
        std::filesystem::create_directories(dir.File("song"));
        WriteFileAtomic(dir.File("song/sine.wav"),
                        tools::EncodeWav16(Sine(MixRate / 2, SineHz, 8000), 1, MixRate));
        WriteFileAtomic(dir.File("song/a.bms"),
                        Bytes("#BPM 120\n#WAV01 sine.wav\n#00111:01\n#00211:0101\n"));
    }
    std::vector<int16_t> Render(int percent, bool keepPitch = true) {
        CommandLine cl;
        cl.ProgramFolder = dir.Folder();
        cl.RenderWav = dir.File("out.wav");
        cl.Arguments = {dir.File("song/a.bms")};
        cl.FrameMs = 16;
        cl.RatePercent = percent;
        cl.RateKeepsPitch = keepPitch;
        EXPECT_EQ(RunPlayer(cl), 0);
        const std::vector<uint8_t> wav = ReadWholeFile(dir.File("out.wav"));
        std::vector<int16_t> left;
        for (size_t i = 44; i + 3 < wav.size(); i += 4)
            left.push_back(int16_t(wav[i] | wav[i + 1] << 8));
        return left;
    }
    // The keysounds' times in the chart's timing table, in ms.
    std::vector<int64_t> SoundTimes() const {
        const CompiledChart chart = CompileChartFileAs(ChartReading{}, dir.File("song/a.bms"), '.');
        std::vector<int64_t> times;
        for (const EventRecord& r : chart.Data.Events.SoundEvents())
            times.push_back(r.Time);
        return times;
    }
};

// Live play against the test as the sound device, which takes each frame's
// time of sound once the mixing thread has filled its queue. Where the
// picture stands, in real ms, when the first click is heard (positive:
// ahead of the sound), at a rate the keys set before the song starts or,
// `duringPlay`, 300 ms into it.
double PictureLeadWhenHeard(int rateSteps, bool duringPlay = false) {
    HeadlessPlayer f;
    f.output = MixerOutput::Queue;
    std::vector<int16_t> click(300);
    for (size_t i = 0; i < click.size(); ++i)
        click[i] = int16_t(i % 40 < 20 ? 12000 : -12000);
    f.Write("song/click.wav", tools::EncodeWav16(click, 1, MixRate));
    f.Write("song/a.bms", Bytes("#BPM 150\n#WAV01 click.wav\n#00111:01\n"));
    f.Start({f.dir.File("song/a.bms")});
    auto setRate = [&] {
        for (int i = 0; i < rateSteps; ++i)
            f.player->KeyDown(Key::Comma);
    };
    if (!duringPlay) setRate();
    const double rate = (100 - rateSteps * RateStepPercent) / 100.0;
    std::vector<int16_t> heard;
    std::vector<std::pair<size_t, int32_t>> pictures; // frames heard, song time shown
    LiveFeed& feed = *f.player->LiveSound();
    for (int frame = 0; frame < 800; ++frame) {
        f.Frame(10);
        if (duringPlay && f.player->Status().SongStarted() &&
            f.player->Status().SongTime() >= 300 && f.player->Status().RatePercent() == 100)
            setRate();
        for (int i = 0; i < 5000 && LiveFeedTestAccess::QueuedFrames(feed) < feed.LeadFrames(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        for (int64_t owed = 441; owed > 0; owed -= 147) {
            heard.resize(heard.size() + 147 * 2);
            feed.Take(heard.data() + heard.size() - 147 * 2, 147);
        }
        if (f.player->Status().SongStarted())
            pictures.emplace_back(heard.size() / 2, f.player->Status().SongTime());
    }
    std::vector<int16_t> left;
    for (size_t i = 0; i < heard.size(); i += 2)
        left.push_back(heard[i]);
    const std::vector<size_t> onsets = Onsets(left, 3000);
    if (onsets.empty()) return 1e9;
    for (const auto& [frames, songTime] : pictures)
        if (frames >= onsets[0]) {
            const double shownAtOnset =
                songTime - double(frames - onsets[0]) * 1000 / MixRate * rate;
            return (shownAtOnset - 2600) / rate; // measure 1 starts at 2600 ms
        }
    return 1e9;
}

} // namespace

// Live at twice the speed, a loop's passage plays on the device every
// passage's time, each pass with the sound at its start mark and none of the
// one just past its end mark.
TEST(Rate, LiveALoopAtTwiceTheSpeedPlaysOnlyItsPassage) {
    HeadlessPlayer f;
    f.output = MixerOutput::Queue;
    auto square = [](size_t frames) {
        std::vector<int16_t> wave(frames);
        for (size_t i = 0; i < frames; ++i)
            wave[i] = int16_t(i % 40 < 20 ? 12000 : -12000);
        return tools::EncodeWav16(wave, 1, MixRate);
    };
    f.Write("song/click.wav", square(300));
    f.Write("song/tone.wav", square(MixRate / 4));
    // Tempo 120: measure 1 from 3000 ms, 2 from 5000.
    f.Write("song/a.bms",
            Bytes("#BPM 120\n#WAV01 click.wav\n#WAV02 tone.wav\n#00111:01\n#00211:02\n"));
    f.Start({f.dir.File("song/a.bms")});
    for (int i = 0; i < (MaxRatePercent - 100) / RateStepPercent; ++i)
        f.player->KeyDown(Key::Period);
    std::vector<int16_t> left;
    size_t looped = 0; // frames heard when the loop was set
    LiveFeed& feed = *f.player->LiveSound();
    for (int frame = 0; frame < 600; ++frame) {
        f.Frame(20); // 40 ms of the song
        const PlayLoop& loop = f.player->Status().Playback().Loop;
        const int32_t songTime = f.player->Status().SongTime();
        if (f.player->Status().SongStarted() && !loop.StartMeasure && songTime > 3200)
            f.player->KeyDown(Key::I);
        if (loop.StartMeasure && !loop.EndMeasure && songTime > 5100) {
            f.player->KeyDown(Key::O); // measure 2, passed: back to measure 1 at once
            looped = left.size();
        }
        for (int i = 0; i < 5000 && LiveFeedTestAccess::QueuedFrames(feed) < feed.LeadFrames(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::vector<int16_t> heard(size_t(MixRate / 50) * 2);
        feed.Take(heard.data(), MixRate / 50);
        for (size_t i = 0; i < heard.size(); i += 2)
            left.push_back(heard[i]);
    }
    ASSERT_GT(looped, 0u);
    // Past the sound of the time before the loop, still queued.
    const std::vector<int16_t> passes(left.begin() + long(looped) + MixRate / 2, left.end());
    const std::vector<size_t> onsets = Onsets(passes, 3000);
    ASSERT_GE(onsets.size(), 5u);
    for (size_t k = 1; k < onsets.size(); ++k) // a pass: 2000 ms of the song at 2x
        EXPECT_NEAR(double(onsets[k] - onsets[k - 1]), MixRate, 256.0) << k;
    const auto loud = std::count_if(passes.begin() + long(onsets[0]), passes.end(),
                                    [](int16_t v) { return std::abs(v) > 3000; });
    EXPECT_LT(loud, long(onsets.size()) * 1000) << "only the click sounds in each pass";
}

TEST(Rate, LiveThePictureKeepsItsLeadOverTheSoundAtEveryRate) {
    const double atOne = PictureLeadWhenHeard(0);
    ASSERT_LT(std::abs(atOne), 200);
    for (const int steps : {5, 10}) // 0.75x, 0.5x
        EXPECT_NEAR(PictureLeadWhenHeard(steps), atOne, 4.0) << steps << " steps down";
    EXPECT_NEAR(PictureLeadWhenHeard(5, true), atOne, 6.0) << "changed during play";
}

TEST(Rate, AtThreeQuartersARenderIsFourThirdsLongWithItsPitchAndOnsetsInPlace) {
    SineRender song;
    const std::vector<int16_t> whole = song.Render(100);
    const std::vector<int16_t> slow = song.Render(75);
    EXPECT_NEAR(double(slow.size()), double(whole.size()) * 4 / 3, MixRate * 0.02);
    const std::vector<size_t> onsets = Onsets(slow, 1500);
    const std::vector<int64_t> times = song.SoundTimes();
    ASSERT_EQ(onsets.size(), times.size());
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(double(onsets[i]) * 1000 / MixRate, double(times[i]) / 0.75, 4.0)
            << "sound " << i;
    // The middle of the first note (2/3 s long at 0.75x).
    const double hz = Frequency(slow, onsets[0] + MixRate / 10, MixRate / 3);
    EXPECT_LT(std::abs(Cents(hz, SineHz)), 5.0) << hz << " Hz";
}

TEST(Rate, ResampledThePitchMovesWithTheRate) {
    SineRender song;
    for (const int percent : {75, 150}) {
        const std::vector<int16_t> render = song.Render(percent, false);
        const std::vector<size_t> onsets = Onsets(render, 1500);
        ASSERT_FALSE(onsets.empty());
        EXPECT_NEAR(double(onsets[0]) * 1000 / MixRate, 3000.0 * 100 / percent, 1.0);
        const double hz = Frequency(render, onsets[0] + MixRate / 20, MixRate / 6);
        EXPECT_LT(std::abs(Cents(hz, SineHz * percent / 100)), 5.0) << percent << "%: " << hz;
    }
}

// Whatever the rate and the size of the device's takes, the stage's output
// never runs short, and a click in the song is heard at the output frame the
// stage names for it (the live picture's clock and the render's start read that).
TEST(Rate, TheStageNamesWhereEachSongFrameIsHeard) {
    for (const bool keepPitch : {true, false}) {
        for (const int percent : {50, 75, 150, 200}) {
            RateStage stage(percent, keepPitch);
            int64_t song = 0, output = 0;
            constexpr int64_t Click = MixRate * 2;
            std::vector<int16_t> heard;
            auto mix = [&](int16_t* out, int n) {
                for (int i = 0; i < n; ++i, ++song)
                    out[2 * i] = out[2 * i + 1] = song >= Click && song < Click + 441 ? 16000 : 0;
            };
            std::vector<int16_t> block(4096 * 2);
            for (int step = 0; output < MixRate * 6; ++step) {
                const int n = step % 2 ? 256 : 4096;
                stage.Pull(block.data(), n, 0, 0, mix);
                for (int i = 0; i < n; ++i)
                    heard.push_back(block[size_t(2 * i)]);
                output += n;
            }
            EXPECT_EQ(stage.ShortFrames(), 0) << percent << "% " << keepPitch;
            // The click's centre by its energy: the stretcher spreads its edges.
            double sum = 0, weighted = 0;
            for (size_t i = 0; i < heard.size(); ++i) {
                const double e = double(heard[i]) * heard[i];
                sum += e, weighted += e * double(i);
            }
            ASSERT_GT(sum, 0);
            EXPECT_NEAR(weighted / sum, double(stage.OutputFrameOf(Click + 220)), MixRate * 0.002)
                << percent << "% " << keepPitch;
        }
    }
}

TEST(Rate, TheKeysStepTheRateWithinItsBoundsAndShowIt) {
    HeadlessPlayer p;
    p.Write("song/a.bms", Bytes("#BPM 120\n#00111:01\n"));
    p.Start({p.dir.File("song/a.bms")});
    ASSERT_TRUE(p.PassGate());
    const int32_t before = p.player->Status().SongTime();
    p.player->KeyDown(Key::Comma);
    EXPECT_EQ(p.player->Status().RatePercent(), 95);
    EXPECT_EQ(p.player->Status().SettingBand().Text(), "RATE 0.95x");
    p.Frames(100); // 1 s at 10 ms a frame
    EXPECT_NEAR(p.player->Status().SongTime() - before, 950, 20);
    for (int i = 0; i < 30; ++i)
        p.player->KeyDown(Key::Period);
    EXPECT_EQ(p.player->Status().SettingBand().Text(), "RATE 2.00x");
    for (int i = 0; i < 40; ++i)
        p.player->KeyDown(Key::Comma);
    EXPECT_EQ(p.player->Status().SettingBand().Text(), "RATE 0.50x");
}

TEST(Rate, ARateReadsOnlyInStepsOfFivePercentFromHalfToDouble) {
    EXPECT_EQ(ParseRatePercent("0.75"), 75);
    EXPECT_EQ(ParseRatePercent("2"), 200);
    EXPECT_EQ(ParseRatePercent("1.5"), 150);
    for (const char* bad : {"0.45", "2.05", "0.77", "1.", ".5", "abc", "", "1.234", "-1", "1e0"})
        EXPECT_FALSE(ParseRatePercent(bad)) << bad;
    EXPECT_FALSE(ParseCommandLine({"--rate", "0.3", "a.bms"}).Error.empty());
    const CommandLine cl = ParseCommandLine({"--rate", "0.6", "--rate-pitch", "a.bms"});
    EXPECT_EQ(cl.RatePercent, 60);
    EXPECT_FALSE(cl.RateKeepsPitch);
    // Kept in the settings only when saved, and read back.
    EXPECT_EQ(MergeSettings("", cl.Given), "rate = 0.60\n");
    std::vector<std::string> problems;
    CommandLine plain = ParseCommandLine({"a.bms"});
    ApplySettings(plain, ParseSettings("rate = 0.60\n", "settings", problems));
    EXPECT_EQ(plain.RatePercent, 60);
    EXPECT_TRUE(problems.empty());
}
