// Live sound: the queue between the mixing thread and the device, the song
// clock steered toward the sound clock, and the whole player against a
// device that pulls irregular blocks, compared with the offline render.
#include "HeadlessPlayer.h"
#include "app/Runner.h"
#include "audio/AudioRing.h"
#include "audio/SongClock.h"
#include "audio/TestAccess.h"
#include "files/Files.h"
#include "tools/Midi.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace tappo;
using namespace tappo::test;

namespace {

std::vector<int16_t> Counting(int64_t from, int frames) {
    std::vector<int16_t> v(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        v[size_t(i) * 2] = v[size_t(i) * 2 + 1] = int16_t((from + i) % 30000 + 1);
    return v;
}

} // namespace

TEST(AudioRing, KeepsOrderForSlowAndFastReadersAndCountsWhatTheWriterMissed) {
    AudioRing ring(1000);
    ASSERT_EQ(ring.Capacity(), 1024);
    // A slow reader: the writer fills the ring and must wait for space.
    int64_t written = 0;
    while (ring.Space() > 0) {
        const int n = std::min(ring.Space(), 300);
        ring.Write(Counting(written, n).data(), n);
        written += n;
    }
    EXPECT_EQ(written, 1024);
    std::vector<int16_t> out(2048);
    int64_t read = 0;
    for (int n : {1, 511, 300, 212}) {
        EXPECT_EQ(ring.Read(out.data(), n), n);
        EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + n * 2), Counting(read, n));
        read += n;
    }
    EXPECT_EQ(ring.Underruns(), 0);
    // A fast reader (or a stalled writer): silence for what is missing, one
    // counted gap, and the reader's clock goes on; the writer then skips the
    // frames the device has passed and what it writes next is read next.
    ring.Write(Counting(written, 100).data(), 100);
    written += 100;
    out.assign(out.size(), 7);
    EXPECT_EQ(ring.Read(out.data(), 400), 100);
    EXPECT_EQ(out[199], Counting(written - 1, 1)[1]);
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 200, out.begin() + 800),
              std::vector<int16_t>(600, 0));
    EXPECT_EQ(ring.Underruns(), 1);
    EXPECT_EQ(ring.MissingFrames(), 300);
    EXPECT_EQ(ring.Behind(), 300);
    EXPECT_EQ(ring.Fill(), 0);
    ring.Skip(ring.Behind());
    EXPECT_EQ(ring.WritePosition(), ring.ReadPosition());
    ring.Write(Counting(5, 64).data(), 64);
    EXPECT_EQ(ring.Read(out.data(), 64), 64);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 128), Counting(5, 64));
}

TEST(SongClock, FollowsTheSoundClockWithoutJumps) {
    // The sound clock runs 0.2 % fast (much more than real devices) and steps
    // in device buffers of 11.6 ms; frames come every 8 ms.
    SongClock clock;
    clock.Start(0, 1000);
    double prev = 0, worst = 0;
    for (int frame = 1; frame <= 60 * 125; ++frame) {
        const double now = 1000 + frame * 8.0;
        const double sound = std::floor((now - 1000) * 1.002 / 11.6) * 11.6;
        const double t = clock.Advance(now, sound);
        const double step = t - prev;
        prev = t;
        EXPECT_NEAR(step, 8.0, 8.0 * SongClock::MaxRateChange + 1e-9) << "frame " << frame;
        if (frame > 125 * 5) worst = std::max(worst, std::abs(t - sound));
    }
    EXPECT_LT(worst, 12.0) << "within a device buffer of the sound clock after a minute";
    // A device that stalled for a second: set at once, not steered for minutes.
    const double t = clock.Advance(prev + 8, prev + 8 + 1000);
    EXPECT_DOUBLE_EQ(t, prev + 8 + 1000);
}

namespace {

// A chart with music and keysounds; `standard` also gives #VOLWAV and the limiter.
void WriteSong(HeadlessPlayer& f) {
    std::vector<int16_t> click(300);
    for (size_t i = 0; i < click.size(); ++i)
        click[i] = int16_t((i % 40 < 20 ? 1 : -1) * (12000 - int(i) * 30));
    f.Write("song/click.wav", tools::EncodeWav16(click, 1, 44100));
    tools::MidiSong song;
    song.Notes = {{0, 480, 0, 60, 100}, {480, 480, 0, 64, 100}, {960, 960, 0, 67, 100}};
    f.Write("song/music.mid", tools::EncodeMidi(song));
    f.Write("song/a.bms", Bytes("#BPM 150\n#MIDIFILE music.mid\n#WAV01 click.wav\n"
                                "#00011:01010101\n#00112:0001000100010001\n#00201:01\n"));
}

std::vector<int16_t> RenderedSamples(HeadlessPlayer& f, bool standard) {
    CommandLine cl;
    cl.ProgramFolder = f.dir.Folder();
    cl.RenderWav = f.dir.File("out.wav");
    cl.Arguments = {f.dir.File("song/a.bms")};
    cl.Standard = standard;
    EXPECT_EQ(RunPlayer(cl), 0);
    const std::vector<uint8_t> wav = ReadWholeFile(cl.RenderWav);
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(wav[44 + i * 2] | wav[45 + i * 2] << 8);
    return samples;
}

// The test is the sound device: each frame it takes the frames the frame's
// time covers, in blocks of uneven size, once the mixing thread has filled
// the queue (the device of a real machine would find it full as well).
struct FakeDevice {
    explicit FakeDevice(HeadlessPlayer& player) : f(player) {}
    HeadlessPlayer& f;
    std::vector<int16_t> heard;
    int64_t owed = 0;
    size_t next = 0;
    void Frame(int ms = 10) {
        f.Frame(ms);
        Pull(int64_t(ms) * MixRate / 1000);
    }
    void Pull(int64_t frames) {
        owed += frames;
        static const int sizes[] = {37, 512, 90, 301, 700, 64};
        while (owed > 0) {
            LiveFeed& feed = *f.player->LiveSound();
            for (int i = 0; i < 5000 && LiveFeedTestAccess::QueuedFrames(feed) < feed.LeadFrames();
                 ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            const int n = int(std::min<int64_t>({owed, sizes[next++ % 6], feed.LeadFrames()}));
            heard.resize(heard.size() + size_t(n) * 2);
            feed.Take(heard.data() + heard.size() - size_t(n) * 2, n);
            owed -= n;
        }
    }
};

// A mixer fed to the test as its device (the problem log in `dir`), with a click of 50 frames at
// 9000 on channel 0, due at frame `at` of the device's clock.
struct ClickAt {
    explicit ClickAt(int64_t at) {
        WriteFileAtomic(dir.File("click.wav"),
                        tools::EncodeWav16(std::vector<int16_t>(50, 9000), 1, 44100));
        click = sound.LoadSample(dir.File("click.wav"));
        sound.SetChannelSample(0, click.get());
        sound.PlayChannel(0, at);
    }
    TempDir dir;
    ProblemLog log{dir.File("ddsd.debug")};
    Mixer sound{log};
    LiveFeed feed{sound, 512}; // the test is its device
    std::unique_ptr<Sample> click;
};

} // namespace

TEST(LiveSound, MusicAndKeysoundsLandOnTheFramesOfTheOfflineRender) {
    for (bool standard : {false, true}) {
        HeadlessPlayer f;
        f.output = MixerOutput::Queue;
        f.reading.Standard = standard;
        WriteSong(f);
        const std::vector<int16_t> rendered = RenderedSamples(f, standard);
        f.Start({f.dir.File("song/a.bms")});
        FakeDevice device(f);
        while (!f.player->Status().CloseRequested() && device.heard.size() < 20 * 44100 * 2)
            device.Frame();
        ASSERT_TRUE(f.player->Status().CloseRequested()) << "the song ends";
        device.Pull(MixRate / 5); // what the queue still held
        const int64_t start = f.player->Status().Playback().SongStartFrame;
        ASSERT_GE(start, 0);
        const size_t from = size_t(start) * 2;
        ASSERT_GT(device.heard.size(), from + rendered.size());
        const std::vector<int16_t> live(device.heard.begin() + ptrdiff_t(from),
                                        device.heard.begin() + ptrdiff_t(from + rendered.size()));
        // Every keysound and every note of the music on its own sample. The
        // synthesiser renders in batches whose length follows the blocks asked
        // for, so a dying note's last bits may round the other way (1 LSB).
        int differing = 0, largest = 0;
        for (size_t i = 0; i < live.size(); ++i) {
            differing += live[i] != rendered[i];
            largest = std::max(largest, std::abs(live[i] - rendered[i]));
        }
        EXPECT_LE(largest, 1) << (standard ? "standard" : "exact") << " reading";
        EXPECT_LT(differing, 10);
        EXPECT_EQ(LiveFeedTestAccess::Underruns(*f.player->LiveSound()), 0);
    }
}

TEST(LiveSound, PauseAndRestartKeepKeysoundsOnTheSoundClock) {
    HeadlessPlayer f;
    f.output = MixerOutput::Queue;
    WriteSong(f);
    f.Start({f.dir.File("song/a.bms")});
    FakeDevice device(f);
    // Where the click of song time `t` must be heard, on the device's frames.
    auto clickAt = [&](int64_t t) {
        return f.player->Status().Playback().SongStartFrame + t * MixRate / 1000;
    };
    auto sounds = [&](int64_t frame) {
        return device.heard.size() > size_t(frame) * 2 + 2 &&
               device.heard[size_t(frame) * 2] != 0 && device.heard[size_t(frame - 1) * 2] == 0;
    };
    while (!f.player->Status().SongStarted() || f.player->Status().SongTime() < 1100)
        device.Frame();
    f.player->KeyDown(Key::F4); // pause for a while
    for (int i = 0; i < 37; ++i)
        device.Frame();
    f.player->KeyDown(Key::F4);
    const int32_t resumedAt = f.player->Status().SongTime();
    while (f.player->Status().SongTime() < 1900)
        device.Frame();
    // The notes at 1000 ms and every 400 ms: the ones after the resume.
    for (int64_t t = 1400; t < 1900; t += 400)
        if (t > resumedAt + 30) {
            EXPECT_TRUE(sounds(clickAt(t))) << "after resuming, at " << t;
        }
    f.player->KeyDown(Key::F5);
    device.Frame();
    while (f.player->Status().SongTime() < 1500)
        device.Frame();
    EXPECT_TRUE(sounds(clickAt(1000))) << "after the restart";
    EXPECT_TRUE(sounds(clickAt(1400)));
}

TEST(LiveSound, AGapDoesNotDelayWhatFollows) {
    ClickAt f(30000);
    LiveFeed& feed = f.feed;
    // The device takes far more than the queue holds: a gap of silence,
    // counted, and the click still sounds at frame 30000 of the device's clock.
    std::vector<int16_t> heard(40000 * 2);
    feed.Take(heard.data(), 20000);
    for (int i = 0; i < 5000 && LiveFeedTestAccess::QueuedFrames(feed) < feed.LeadFrames(); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    for (int at = 20000; at < 40000; at += 100) {
        for (int i = 0; i < 5000 && LiveFeedTestAccess::QueuedFrames(feed) < 100; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        feed.Take(heard.data() + size_t(at) * 2, 100);
    }
    EXPECT_EQ(LiveFeedTestAccess::Underruns(feed), 1);
    EXPECT_EQ(heard[29999 * 2], 0);
    EXPECT_EQ(heard[30000 * 2], 9000);
    EXPECT_EQ(heard[30049 * 2], 9000);
    EXPECT_EQ(heard[30050 * 2], 0);
    f.sound.ReportLostVoices();
    const std::vector<uint8_t> log = ReadWholeFile(f.dir.File("ddsd.debug"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("1 回"), std::string::npos)
        << "the gap is in the problem log";
}

TEST(LiveSound, TheDeviceMixesForAMixingThreadThatDoesNotRun) {
    ClickAt f(3000);
    LiveFeed& feed = f.feed;
    LiveFeedTestAccess::HoldMixThread(feed, true);
    std::vector<int16_t> heard(6144 * 2);
    for (int at = 0; at < 6144; at += 512)
        feed.Take(heard.data() + size_t(at) * 2, 512);
    EXPECT_EQ(LiveFeedTestAccess::Underruns(feed), 0) << "no gap";
    EXPECT_GT(LiveFeedTestAccess::DeviceMixes(feed), 0);
    EXPECT_EQ(heard[2999 * 2], 0);
    EXPECT_EQ(heard[3000 * 2], 9000) << "on its own frame";
    LiveFeedTestAccess::HoldMixThread(feed, false);
}

TEST(LiveSound, PulseAudioIsAskedForRoomUnlessTheUserChose) {
    const char* before = std::getenv("PULSE_LATENCY_MSEC");
    const std::string saved = before ? before : "";
    unsetenv("PULSE_LATENCY_MSEC");
    // A device buffer as long as the target: SDL's own request is left alone.
    AskPulseAudioForRoom(MixRate * PulseAudioTargetMs / 1000 + 1);
    EXPECT_EQ(std::getenv("PULSE_LATENCY_MSEC"), nullptr);
    AskPulseAudioForRoom(512);
    ASSERT_NE(std::getenv("PULSE_LATENCY_MSEC"), nullptr);
    EXPECT_EQ(std::string(std::getenv("PULSE_LATENCY_MSEC")), std::to_string(PulseAudioTargetMs));
    setenv("PULSE_LATENCY_MSEC", "12", 1);
    AskPulseAudioForRoom(512);
    EXPECT_EQ(std::string(std::getenv("PULSE_LATENCY_MSEC")), "12");
    if (before)
        setenv("PULSE_LATENCY_MSEC", saved.c_str(), 1);
    else
        unsetenv("PULSE_LATENCY_MSEC");
}

// The SDL shell: the device (here the dummy driver, which takes frames in real
// time as a sound card would) takes the mix through the feed, and the sound
// clock moves with what it takes.
TEST(LiveSound, TheSdlDeviceTakesTheMixThroughTheFeed) {
    const char* before = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = before ? before : "";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        TempDir dir;
        ProblemLog log(dir.File("ddsd.debug"));
        Mixer sound(log);
        AudioDevice device(sound, MixerOutput::Device, 512);
        ASSERT_NE(device.Feed(), nullptr);
        const LiveFeed& feed = *device.Feed();
        const int64_t start = feed.SoundClockFrame();
        for (int i = 0; i < 300 && feed.SoundClockFrame() < start + MixRate / 10; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_GE(feed.SoundClockFrame(), start + MixRate / 10);
    }
    if (before)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

// Live, the loop's joint falls on the end mark's own frame of the sound
// clock: every pass the device plays is the same, sample for sample.
TEST(LiveSound, ALoopRepeatsItsPassageOnTheDevicesFrames) {
    HeadlessPlayer f;
    f.output = MixerOutput::Queue;
    std::vector<int16_t> ramp(44100 * 3);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i % 20000 + 1);
    f.Write("song/long.wav", tools::EncodeWav16(ramp, 1, 44100));
    f.Write("song/k.wav", tools::EncodeWav16(std::vector<int16_t>(300, 7000), 1, 44100));
    // Tempo 120: measure 1 from 3000 ms, 2 from 5000, 3 from 7000.
    f.Write("song/a.bms", Bytes("#BPM 120\n#WAV01 k.wav\n#WAV02 long.wav\n#00011:02\n"
                                "#00111:01010101\n#00211:0101\n#00311:01\n"));
    f.Start({f.dir.File("song/a.bms")});
    FakeDevice device(f);
    while (!f.player->Status().SongStarted() || f.player->Status().SongTime() < 3200)
        device.Frame();
    f.player->KeyDown(Key::I);
    while (f.player->Status().SongTime() < 5200)
        device.Frame();
    f.player->KeyDown(Key::O); // measure 2, passed: back to measure 1 at once
    const int64_t first = f.player->Status().Playback().SongStartFrame + MixFramesOfSongTime(3000);
    const int64_t pass = MixFramesOfSongTime(5000) - MixFramesOfSongTime(3000);
    while (device.heard.size() < size_t(first + 3 * pass + 4410) * 2)
        device.Frame(16);
    auto passAt = [&](int64_t k) {
        const auto from = device.heard.begin() + ptrdiff_t((first + k * pass) * 2);
        return std::vector<int16_t>(from, from + ptrdiff_t(pass * 2));
    };
    EXPECT_EQ(passAt(0), passAt(1));
    EXPECT_EQ(passAt(1), passAt(2));
    EXPECT_NE(passAt(0)[10], 0) << "the background sound resumed at the start mark";
    EXPECT_EQ(LiveFeedTestAccess::Underruns(*f.player->LiveSound()), 0);
}
