// The WAV reader, the channels and their mix, what the mixer writes to the
// problem log, and the music.
#include "TestUtil.h"
#include "audio/Mixer.h"
#include "audio/TestAccess.h"
#include "base/Errors.h"
#include "base/Report.h"
#include "files/Files.h"
#include "platform/AudioDevice.h"
#include "platform/Music.h"
#include "tools/Assets.h"
#include "tools/Midi.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tappo;
using namespace tappo::test;

namespace {

// A RIFF file from chunks given as (id, body).
std::vector<uint8_t> Riff(const char* player,
                          const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
    Bytes body;
    body.str(player);
    for (const auto& [id, data] : chunks) {
        body.str(id).u32(uint32_t(data.size())).raw(data);
        if (data.size() & 1) body.u8(0);
    }
    Bytes file;
    file.str("RIFF").u32(uint32_t(body.b.size())).raw(body.b);
    return file.b;
}

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                         size_t size = 16) {
    Bytes f;
    f.u16(tag)
        .u16(channels)
        .u32(rate)
        .u32(rate * channels * bits / 8)
        .u16(channels * bits / 8)
        .u16(bits);
    while (f.b.size() < size)
        f.u8(0);
    return f.b;
}

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
    Bytes d;
    for (int16_t s : samples)
        d.u16(uint16_t(s));
    return d.b;
}

std::string Problem(const std::vector<uint8_t>& file, WaveFormat* formatOut = nullptr) {
    WaveFormat format;
    std::string problem;
    auto pcm = DecodeWave(file, format, problem);
    if (formatOut) *formatOut = format;
    return pcm ? "" : problem;
}

// Pulls `frames` frames from the mix.
std::vector<int16_t> Pull(Mixer& sound, int frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    sound.Mix(out.data(), frames);
    return out;
}

struct SoundFixture {
    TempDir dir;
    ProblemLog log{dir.File("ddsd.debug")};
    Mixer sound{log};
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileAtomic(dir.File(name), bytes);
        return dir.File(name);
    }
};

} // namespace

TEST(WaveReader, ReadsPcmInItsCommonForms) {
    WaveFormat format;
    std::string problem;
    // 16-bit mono: each sample goes to both sides.
    auto mono = Riff("WAVE", {{"fmt ", Fmt(1, 1, 44100, 16)}, {"data", Pcm16({1000, -2000})}});
    auto pcm = DecodeWave(mono, format, problem);
    ASSERT_TRUE(pcm) << problem;
    EXPECT_EQ(pcm->ToVector(), (std::vector<int16_t>{1000, 1000, -2000, -2000}));
    EXPECT_EQ(format.ExtraSize, 0) << "a 16-byte fmt chunk has no extra-size field";

    // 8-bit unsigned stereo, with LIST chunks before fmt and between fmt and data.
    auto eight = Riff("WAVE", {{"LIST", {1, 2, 3}},
                               {"fmt ", Fmt(1, 2, 44100, 8, 18)},
                               {"LIST", {4, 5}},
                               {"data", {128, 255, 0, 128}}});
    pcm = DecodeWave(eight, format, problem);
    ASSERT_TRUE(pcm) << problem;
    EXPECT_EQ(pcm->ToVector(), (std::vector<int16_t>{0, 127 << 8, -32768, 0}));

    // The extensible form around PCM (a 40-byte fmt chunk) is read too.
    auto ext = Fmt(0xFFFE, 1, 44100, 16, 40);
    ext[16] = 22, ext[24] = 1; // extra size, sub-format PCM
    auto extensible = Riff("WAVE", {{"fmt ", ext}, {"data", Pcm16({7})}});
    EXPECT_EQ(Problem(extensible), "");

    // 16-bit stereo at 44.1 kHz is played from the file's own bytes.
    auto native =
        Riff("WAVE", {{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", Pcm16({1, -1, 2, -2, 3})}});
    pcm = DecodeWave(native, format, problem);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->ToVector(), (std::vector<int16_t>{1, -1, 2, -2}));

    // Another rate is converted once, to 44.1 kHz.
    auto slow = Riff(
        "WAVE", {{"fmt ", Fmt(1, 1, 22050, 16)}, {"data", Pcm16(std::vector<int16_t>(1000, 500))}});
    pcm = DecodeWave(slow, format, problem);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->Frames(), 2000u);
    EXPECT_EQ(pcm->Data()[1000], 500);
    EXPECT_EQ(format.SamplesPerSec, 22050u);
}

TEST(WaveReader, ReportsEveryMalformedFile) {
    const std::string notWave = "は、WAVEファイルではありません",
                      noFmt = "には、fmtチャンクが有りません", badFmt = "のfmtチャンクが不正です",
                      noData = "には、dataチャンクが有りません";
    const auto fmt = Fmt(1, 1, 44100, 16);
    EXPECT_EQ(Problem({}), notWave);
    EXPECT_EQ(Problem({'R', 'I', 'F', 'F'}), notWave);
    EXPECT_EQ(Problem(Riff("AVI ", {{"fmt ", fmt}})), notWave);
    EXPECT_EQ(Problem(Riff("WAVE", {{"data", Pcm16({1})}})), noFmt);
    EXPECT_EQ(Problem(Riff("WAVE", {{"data", Pcm16({1})}, {"fmt ", fmt}})), noData)
        << "data before fmt is not found";
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", fmt}})), noData);
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", Fmt(1, 0, 44100, 16)}, {"data", {}}})), badFmt)
        << "0 channels";
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", Fmt(1, 1, 0, 16)}, {"data", {}}})), badFmt)
        << "rate 0";
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", Fmt(2, 1, 44100, 4)}, {"data", {}}})), badFmt)
        << "ADPCM";
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", Fmt(1, 1, 44100, 12)}, {"data", {}}})), badFmt);
    EXPECT_EQ(Problem(Riff("WAVE", {{"fmt ", {1, 0, 1, 0}}, {"data", {}}})), badFmt) << "too short";

    // A fmt chunk claiming more bytes than the file has.
    auto huge = Riff("WAVE", {{"fmt ", fmt}});
    huge[16] = 0xF0, huge[17] = 0xFF, huge[18] = 0xFF, huge[19] = 0xFF;
    EXPECT_EQ(Problem(huge), badFmt);

    // Cut short or odd-length data: the whole frames that are there play.
    WaveFormat format;
    std::string problem;
    auto cut =
        Riff("WAVE", {{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", {1, 0, 2, 0, 3, 0, 4, 0, 5}}});
    cut.resize(cut.size() - 4);
    auto pcm = DecodeWave(cut, format, problem);
    ASSERT_TRUE(pcm) << problem;
    EXPECT_EQ(pcm->Frames(), 1u);

    // Any byte sequence: a report, never a crash.
    std::vector<uint8_t> junk = Riff("WAVE", {{"fmt ", fmt}, {"data", Pcm16({1, 2, 3})}});
    for (size_t i = 0; i < junk.size(); ++i) {
        std::vector<uint8_t> b = junk;
        b[i] ^= 0xA5;
        Problem(b);
        b.resize(i);
        Problem(b);
    }
}

TEST(WaveReader, AFileReadInPiecesGivesWhatItsWholeBytesGive) {
    TempDir dir;
    const auto same = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        WriteFileAtomic(dir.File("a.wav"), bytes);
        WaveFormat whole, pieces;
        std::string wholeProblem, piecesProblem;
        const auto expected = DecodeWave(bytes, whole, wholeProblem);
        const auto read = ReadWave(dir.File("a.wav"), pieces, piecesProblem);
        ASSERT_EQ(bool(read), bool(expected)) << what << ": " << piecesProblem;
        EXPECT_EQ(piecesProblem, wholeProblem) << what;
        if (!expected) return;
        EXPECT_TRUE(read->ToVector() == expected->ToVector()) << what;
        EXPECT_TRUE(pieces == whole) << what;
    };
    // Several blocks of 24-bit stereo at 22.05 kHz, behind a chunk the reader passes over.
    std::vector<uint8_t> long24(3 * 1000 * 1000 + 6);
    for (size_t i = 0; i < long24.size(); ++i)
        long24[i] = uint8_t(i * 2654435761u >> 13);
    same(Riff("WAVE", {{"LIST", {1, 2, 3}}, {"fmt ", Fmt(1, 2, 22050, 24)}, {"data", long24}}),
         "24-bit");
    auto ext = Fmt(0xFFFE, 4, 32000, 16, 40);
    ext[16] = 22, ext[24] = 1;
    same(Riff("WAVE", {{"fmt ", ext}, {"data", Pcm16({1, 2, 3, 4, 5, 6, 7, 8, -9})}}),
         "4 channels");
    same(
        Riff("WAVE", {{"fmt ", Fmt(3, 1, 48000, 32)}, {"data", {0, 0, 0x80, 0x3F, 0, 0, 0, 0xBF}}}),
        "float");
    auto native =
        Riff("WAVE", {{"fmt ", Fmt(1, 2, 44100, 16)}, {"data", Pcm16({1, -1, 2, -2, 3})}});
    same(native, "mix format");
    native.resize(native.size() - 5);
    same(native, "cut short");
    // Each header field damaged, and the file cut at each: the same sample or
    // the same problem.
    for (const size_t i : {4, 8, 12, 16, 20, 22, 24, 28, 32, 34, 36, 40, 44}) {
        std::vector<uint8_t> b = native;
        b[i] ^= 0xA5;
        same(b, "byte " + std::to_string(i));
        b.resize(i);
        same(b, "length " + std::to_string(i));
    }
    // Over 20 minutes at the mix rate: refused from the headers (the samples
    // are a hole in the file, never read).
    auto header = Riff("WAVE", {{"fmt ", Fmt(1, 1, 44100, 8)}, {"data", {}}});
    header[header.size() - 1] = 0x7F; // the data chunk's size
    WriteFileAtomic(dir.File("long.wav"), header);
    std::filesystem::resize_file(dir.File("long.wav"), 60 << 20);
    WaveFormat format;
    std::string problem;
    EXPECT_FALSE(ReadWave(dir.File("long.wav"), format, problem));
    EXPECT_EQ(problem, "のdataチャンクが長すぎます");
}

TEST(SoundLog, FirstReportOfARunEmptiesTheLogAndLinesAreNumbered) {
    TempDir dir;
    const std::string log = dir.File("ddsd.debug");
    WriteFileAtomic(log, {'o', 'l', 'd', '\n'});
    {
        ProblemLog problems(log);
        Mixer sound(problems);
        auto missing = sound.LoadSample(dir.File("nothing.wav"));
        EXPECT_FALSE(missing->HasBuffer());
        WriteFileAtomic(dir.File("text.wav"), {'h', 'i'});
        sound.LoadSample(dir.File("text.wav"));
        EXPECT_EQ(
            LogLines(log),
            (std::vector<std::string>{
                "debug#00001 ... " + dir.File("nothing.wav") + "が、見つかりません",
                "debug#00002 ... " + dir.File("text.wav") + "は、WAVEファイルではありません"}));
        problems.ReportFailedCall("サウンドバッファの作成に失敗しました", 0x8878000A);
        EXPECT_EQ(LogLines(log).back(),
                  "debug#00003 ... サウンドバッファの作成に失敗しました(Error Code(8878000A))");
    }
    ProblemLog nextRun(log);
    Mixer next(nextRun);
    next.LoadSample(dir.File("again.wav"));
    EXPECT_EQ(LogLines(log).size(), 1u) << "a new run starts the log again";

    // Without any sound device nothing is loaded and nothing is reported.
    TempDir quiet;
    ProblemLog quietLog(quiet.File("ddsd.debug"));
    Mixer silent(quietLog);
    const AudioDevice none(silent, MixerOutput::None);
    EXPECT_FALSE(MixerTestAccess::Audible(silent));
    EXPECT_FALSE(silent.LoadSample(quiet.File("nothing.wav"))->HasBuffer());
    EXPECT_FALSE(std::ifstream(quiet.File("ddsd.debug")).good());
}

TEST(SoundChannels, StatusPolyphonyAndMixing) {
    SoundFixture f;
    auto click = f.sound.LoadSample(f.Write(
        "click.wav",
        Riff("WAVE", {{"fmt ", Fmt(1, 1, 44100, 16)}, {"data", Pcm16({10000, 5000, 2500})}})));
    ASSERT_TRUE(click->HasBuffer());
    EXPECT_EQ(f.sound.ChannelCount(), 32);
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelStopped) << "never given a sample";

    f.sound.SetChannelSample(0, click.get());
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelStopped) << "given but not started";
    f.sound.PlayChannel(0);
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelPlaying);
    auto out = Pull(f.sound, 2);
    EXPECT_EQ(out, (std::vector<int16_t>{10000, 10000, 5000, 5000}));
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelPlaying);
    out = Pull(f.sound, 2);
    EXPECT_EQ(out, (std::vector<int16_t>{2500, 2500, 0, 0}));
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelStopped) << "finished";
    f.sound.StopChannel(0); // nothing visible
    f.sound.PlayChannel(0);
    EXPECT_EQ(Pull(f.sound, 1)[0], 10000) << "played again from the start";

    // The same sample on three channels, started at different times, adds up and clips.
    f.sound.SetChannelSample(1, click.get());
    f.sound.SetChannelSample(2, click.get());
    f.sound.PlayChannel(0);
    f.sound.PlayChannel(1);
    f.sound.PlayChannel(2);
    EXPECT_EQ(Pull(f.sound, 1)[0], 30000);
    f.sound.PlayChannel(0);
    out = Pull(f.sound, 1);
    EXPECT_EQ(out[0], 10000 + 5000 + 5000);
    f.sound.PlayChannel(3); // no sample: nothing
    f.sound.SetChannelSample(3, click.get());
    f.sound.SetChannelSample(4, click.get());
    for (int c = 0; c < 5; ++c)
        f.sound.PlayChannel(c);
    EXPECT_EQ(Pull(f.sound, 1)[0], 32767) << "the sum is clipped";
    MixerTestAccess::StopAll(f.sound);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(f.sound.ChannelStatus(c), ChannelStopped);
}

TEST(SoundChannels, AFailedSampleOrAWrongChannelPlaysNothing) {
    SoundFixture f;
    auto missing = f.sound.LoadSample(f.dir.File("missing.wav"));
    f.sound.SetChannelSample(0, missing.get());
    f.sound.PlayChannel(0);
    EXPECT_EQ(f.sound.ChannelStatus(0), ChannelStopped);
    EXPECT_EQ(Pull(f.sound, 4), std::vector<int16_t>(8, 0));
    EXPECT_EQ(LogLines(f.dir.File("ddsd.debug")).size(), 1u) << "the load failure alone is logged";

    EXPECT_EQ(f.sound.ChannelStatus(32), ChannelStopped);
    f.sound.PlayChannel(-1);
    EXPECT_EQ(LogLines(f.dir.File("ddsd.debug")).back(),
              "debug#00003 ... チャンネル番号-1は無効です、0～31の範囲で指定してください");

    // Freeing a sample leaves the channels that hold it playing.
    auto click = f.sound.LoadSample(
        f.Write("c.wav", Riff("WAVE", {{"fmt ", Fmt(1, 1, 44100, 16)}, {"data", Pcm16({9, 9})}})));
    f.sound.SetChannelSample(5, click.get());
    click.reset();
    f.sound.PlayChannel(5);
    EXPECT_EQ(Pull(f.sound, 1)[0], 9);
}

TEST(SoundAssets, TheStepTickLoads) {
    SoundFixture f;
    auto tick = f.sound.LoadSample(
        f.Write("step.wav", tools::EncodeWav16(tools::MakeStepTick(), 1, 44100)));
    ASSERT_TRUE(tick->HasBuffer());
    EXPECT_GT(tick->Pcm()->Frames(), 441u);
}

namespace {

// Two half-second notes at 120 beats per minute: the last event ends at 1.0 s.
std::string WriteMidi(const TempDir& dir) {
    tools::MidiSong song;
    song.Notes = {{0, 480, 0, 60, 100}, {480, 480, 0, 64, 100}};
    WriteFileAtomic(dir.File("song.mid"), tools::EncodeMidi(song));
    return dir.File("song.mid");
}

// Pulls until the music stops playing; returns the frames pulled (-1: never).
long PullUntilStopped(Mixer& sound, MusicPlayer& music, long limitFrames) {
    long pulled = 0;
    while (pulled < limitFrames) {
        if (music.Mode() != MusicPlaying) return pulled;
        Pull(sound, 64);
        pulled += 64;
    }
    return -1;
}

} // namespace

TEST(Music, OpenPlayStopResumeRewindAndTheEnd) {
    SoundFixture f;
    MusicPlayer music;
    f.sound.AddSource(&music);
    EXPECT_EQ(music.Mode(), MusicNotOpen);
    try {
        music.Play();
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "MCI デバイスがありません");
    }
    music.FileName = WriteMidi(f.dir);
    music.Open();
    music.Rewind();
    EXPECT_EQ(music.Mode(), MusicStopped);
    music.Play();
    EXPECT_EQ(music.Mode(), MusicPlaying) << "playing right after play";
    Pull(f.sound, 22050); // 0.5 s
    EXPECT_EQ(music.Mode(), MusicPlaying);
    music.Stop();
    EXPECT_EQ(music.Mode(), MusicStopped);
    Pull(f.sound, 44100); // time passes while stopped: the position stays
    music.Play();
    const long rest = PullUntilStopped(f.sound, music, 3 * 44100);
    EXPECT_NEAR(rest, 22050, 441) << "resumed where it stopped, ended within 10 ms of its end";
    EXPECT_EQ(music.Mode(), MusicStopped);

    // Playing an ended piece starts it again; rewinding while playing restarts it.
    music.Play();
    EXPECT_EQ(music.Mode(), MusicPlaying);
    Pull(f.sound, 22050);
    music.Rewind();
    EXPECT_NEAR(PullUntilStopped(f.sound, music, 3 * 44100), 44100, 441 + 1024);
    f.sound.RemoveSource(&music);
}

TEST(Music, TheSynthesiserIsHeard) {
    SoundFixture f;
    MusicPlayer music;
    f.sound.AddSource(&music);
    music.FileName = WriteMidi(f.dir);
    music.Open();
    music.Play();
    int peak = 0;
    for (int i = 0; i < 20; ++i)
        for (int16_t s : Pull(f.sound, 1024))
            peak = std::max(peak, std::abs(int(s)));
    if (MusicPlayer::FindSoundFont().empty()) GTEST_SKIP() << "no soundfont installed";
    EXPECT_GT(peak, 1000);
    f.sound.RemoveSource(&music);
}

TEST(Music, BadFilesAndAMissingSoundFont) {
    TempDir dir;
    MusicPlayer music;
    music.FileName = dir.File("none.mid");
    EXPECT_THROW(music.Open(), Error);
    EXPECT_EQ(music.Mode(), MusicNotOpen);
    WriteFileAtomic(dir.File("text.mid"), {'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'});
    music.FileName = dir.File("text.mid");
    try {
        music.Open();
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), dir.File("text.mid") + " は MIDI ファイルではありません");
    }
    EXPECT_THROW(music.Rewind(), Error);

    // Without a soundfont the music is silent but keeps its time.
    ProblemLog log(dir.File("ddsd.debug"));
    Mixer sound(log);
    MusicPlayer quiet(dir.File("no-such.sf2"));
    sound.AddSource(&quiet);
    quiet.FileName = WriteMidi(dir);
    quiet.Open();
    quiet.Play();
    EXPECT_NEAR(PullUntilStopped(sound, quiet, 3 * 44100), 44100, 441 + 64);
    sound.RemoveSource(&quiet);
}
