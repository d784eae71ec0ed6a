// What the readers ask of memory for hostile files. This test program replaces
// the global allocator: it records the largest single request, and refuses
// requests above a limit the way a machine without that much memory would.
#include "HostileInput.h"
#include "TestUtil.h"
#include "audio/Mixer.h"
#include "base/Errors.h"
#include "chart/FileLookup.h"
#include "chart/exact/Compiler.h"
#include "files/Files.h"
#include "formats/Png.h"
#include "media/Media.h"
#include "platform/Display.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <new>

namespace {

std::atomic<size_t> largestRequest{0};
std::atomic<size_t> totalRequested{0};
std::atomic<size_t> requestLimit{size_t(1) << 30};

void* Allocate(size_t size) {
    totalRequested += size;
    size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
    if (size > requestLimit.load()) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// Largest single request made while `f` runs, with requests above `limit` refused.
template <typename F> size_t LargestRequest(F&& f, size_t limit = size_t(1) << 30) {
    largestRequest = 0;
    requestLimit = limit;
    f();
    requestLimit = size_t(1) << 30;
    return largestRequest.load();
}

// Bytes requested in all while `f` runs.
template <typename F> size_t TotalRequested(F&& f) {
    totalRequested = 0;
    f();
    return totalRequested.load();
}

} // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

using namespace tappo;
using namespace tappo::test;

TEST(ReaderMemory, AHeaderOnlyBitmapTakesNoPixelMemory) {
    const std::vector<uint8_t> file = HeaderOnlyBmp(8192, 4096);
    std::string error;
    const size_t largest =
        LargestRequest([&] { error = ErrorOf([&] { DecodeBmpFile(file.data(), file.size()); }); });
    EXPECT_EQ(error, "ビットマップイメージが不正です");
    EXPECT_LT(largest, size_t(64) << 10);
}

TEST(ReaderMemory, AOneHertzWaveIsNotMultipliedToTheMixRate) {
    const std::vector<uint8_t> file = LowRateWave(1, 4000);
    std::string problem;
    const size_t largest = LargestRequest([&] {
        WaveFormat format;
        EXPECT_EQ(DecodeWave(file, format, problem), nullptr);
    });
    EXPECT_EQ(problem, "のfmtチャンクが不正です");
    EXPECT_LT(largest, size_t(64) << 10);
}

TEST(ReaderMemory, RunningOutOfMemoryIsALoadFailureNotAnException) {
    // Ten seconds at 22.05 kHz converts to about 1.7 MB, more than allowed here.
    TempDir dir;
    Bytes w;
    const uint32_t frames = 220500;
    w.str("RIFF").u32(4 + 8 + 16 + 8 + frames * 2).str("WAVE");
    w.str("fmt ").u32(16).u16(1).u16(1).u32(22050).u32(44100).u16(2).u16(16);
    w.str("data").u32(frames * 2);
    w.b.resize(w.b.size() + frames * 2, 0);
    WriteFileAtomic(dir.File("big.wav"), w.b);
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    std::unique_ptr<Sample> sample;
    LargestRequest([&] { EXPECT_NO_THROW(sample = sound.LoadSample(dir.File("big.wav"))); },
                   size_t(1) << 20);
    ASSERT_TRUE(sample);
    EXPECT_FALSE(sample->HasBuffer());
    std::ifstream log(dir.File("ddsd.debug"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line,
              "debug#00001 ... " + dir.File("big.wav") + "の読み込み中にメモリが不足しました");
    // With memory enough it loads.
    EXPECT_TRUE(sound.LoadSample(dir.File("big.wav"))->HasBuffer());
}

TEST(ChartMediaMemory, AFileNamedFromManySlotsIsReadAndDecodedOnce) {
    // One second at 22.05 kHz (176 KB converted) from 1,000 slots and a
    // 1024 x 1024 PNG (4 MB decoded) from 200: one decode each, shared.
    TempDir dir;
    WriteFileAtomic(dir.File("step.wav"), LowRateWave(8000, 10));
    WriteFileAtomic(dir.File("tone.wav"), LowRateWave(22050, 22050));
    Image picture(1024, 1024);
    for (size_t k = 0; k < picture.Rgb.size(); ++k)
        picture.Rgb[k] = uint32_t(k * 2654435761u) & 0xFFFFFF;
    WriteFileAtomic(dir.File("scene.png"), EncodePng(picture));
    ChartData chart;
    chart.SlotLimit = WideSlotCount;
    for (int i = 1; i <= 1000; ++i)
        chart.WavFileNames[size_t(i)] = dir.File("tone.wav");
    for (int i = 1; i <= 200; ++i)
        chart.BmpFileNames[size_t(i)] = dir.File("scene.png");

    ProblemLog problems(dir.File("ddsd.debug"));

    Mixer sound(problems);
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    KeysoundBank slots;
    BgaBank surfaces;
    int32_t layer = -1;
    const size_t total = TotalRequested([&] {
        FileResolver files;
        ASSERT_TRUE(LoadKeysounds(
            slots,
            {.Chart = chart, .Sound = sound, .ProgramFolder = dir.Folder(), .Files = files}));
        ASSERT_TRUE(LoadBgaImages(BgaLoad{surfaces, chart, display, layer, files}));
    });
    // Each slot's own surface (150 KB) and one decode of each file.
    EXPECT_LT(total, size_t(64) << 20);
    for (int i = 2; i <= 1000; ++i)
        ASSERT_EQ(slots[size_t(i)]->Pcm(), slots[1]->Pcm()) << i;
    const size_t bytes = size_t(display.Mode.Width) * size_t(display.Mode.Height) * 2;
    for (int i = 2; i <= 200; ++i)
        ASSERT_EQ(std::memcmp(surfaces[size_t(i)]->Bits(), surfaces[1]->Bits(), bytes), 0) << i;
}

TEST(ChartMediaMemory, OneFileUnderManyNamesIsDecodedOnce) {
    // Another letter case, a hard link and a symbolic link all lead to
    // tone.wav: one decode, shared; a name that leads nowhere stays its own.
    TempDir dir;
    WriteFileAtomic(dir.File("step.wav"), LowRateWave(8000, 10));
    WriteFileAtomic(dir.File("tone.wav"), LowRateWave(22050, 22050));
    std::filesystem::create_hard_link(dir.File("tone.wav"), dir.File("hard.wav"));
    std::filesystem::create_symlink(dir.File("tone.wav"), dir.File("soft.wav"));
    ChartData chart;
    chart.SlotLimit = 8;
    chart.WavFileNames[1] = dir.File("tone.wav");
    chart.WavFileNames[2] = dir.File("TONE.WAV");
    chart.WavFileNames[3] = dir.File("hard.wav");
    chart.WavFileNames[4] = dir.File("soft.wav");
    chart.WavFileNames[5] = dir.File("gone.wav");
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    KeysoundBank slots;
    FileResolver files;
    ASSERT_TRUE(LoadKeysounds(
        slots, {.Chart = chart, .Sound = sound, .ProgramFolder = dir.Folder(), .Files = files}));
    ASSERT_TRUE(slots[1]->HasBuffer());
    for (size_t i = 2; i <= 4; ++i)
        EXPECT_EQ(slots[i]->Pcm(), slots[1]->Pcm()) << i;
    EXPECT_FALSE(slots[5]->HasBuffer());
}

TEST(ChartMediaMemory, FilesLargerThanAnyRealSongsAreRefusedBeforeTheyAreRead) {
    // Sparse files of 3 GB named as a chart, a keysound and a picture.
    TempDir dir;
    for (const char* name : {"huge.bms", "huge.wav", "huge.bmp"}) {
        WriteFileAtomic(dir.File(name), {'B', 'M'});
        std::filesystem::resize_file(dir.File(name), uintmax_t(3) << 30);
    }
    // And a sound in the mix format (stereo 16-bit 44.1 kHz) of 20 minutes and
    // a second, behind a chunk in front of the form (so the compressed reader,
    // which takes the file whole, is tried first).
    const uint32_t frames = 44100 * (20 * 60 + 1);
    Bytes w;
    w.str("JUNK").u32(4).u32(0);
    w.str("RIFF").u32(4 + 8 + 16 + 8 + frames * 4).str("WAVE");
    w.str("fmt ").u32(16).u16(1).u16(2).u32(44100).u32(176400).u16(4).u16(16);
    w.str("data").u32(frames * 4);
    WriteFileAtomic(dir.File("long.wav"), w.b);
    std::filesystem::resize_file(dir.File("long.wav"), w.b.size() + size_t(frames) * 4);

    ProblemLog problems(dir.File("ddsd.debug"));

    Mixer sound(problems);
    std::string chartError, pictureError;
    const size_t largest = LargestRequest([&] {
        chartError = ErrorOf([&] { exact::CompileFile(dir.File("huge.bms"), '.'); });
        pictureError = ErrorOf([&] { ReadBgaPicture(dir.File("huge.bmp")); });
        EXPECT_FALSE(sound.LoadSample(dir.File("huge.wav"))->HasBuffer());
    });
    EXPECT_LT(largest, size_t(1) << 20);
    EXPECT_FALSE(sound.LoadSample(dir.File("long.wav"))->HasBuffer());
    EXPECT_EQ(chartError, "ファイル " + dir.File("huge.bms") + " は大きすぎます (64 MB まで)");
    EXPECT_EQ(pictureError, "ファイル " + dir.File("huge.bmp") + " は大きすぎます (160 MB まで)");
    std::ifstream log(dir.File("ddsd.debug"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "debug#00001 ... " + dir.File("huge.wav") +
                        "は、ファイルが大きすぎます (512 MB まで)");
    std::getline(log, line);
    EXPECT_EQ(line, "debug#00002 ... " + dir.File("long.wav") + "のdataチャンクが長すぎます");
}
