// Crafted files that once crashed, hung or misled a reader: run streams far
// longer than the picture, nesting deeper than any stack, extreme header
// values, and files whose first bytes look right and the rest does not.
#include "HostileInput.h"
#include "TestUtil.h"
#include "audio/Mixer.h"
#include "base/Errors.h"
#include "chart/FileLookup.h"
#include "files/Files.h"
#include "formats/ArchiveWriter.h"
#include "formats/Midi.h"
#include "formats/Png.h"
#include "formats/SoundFile.h"
#include "media/Media.h"
#include "platform/Display.h"
#include "platform/Music.h"
#include "platform/SpriteSheet.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

using namespace tappo;
using namespace tappo::test;

namespace {

const std::string BadBitmap = "ビットマップイメージが不正です", BadDib = "不正な DIB です";

std::string ArchiveError(const std::vector<uint8_t>& bytes) {
    return ErrorOf([&] {
        SpriteSheet list;
        list.LoadFromBytes(bytes.data(), bytes.size());
    });
}

std::vector<uint8_t> MidiChunk(const char* id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> c(id, id + 4);
    const uint32_t n = uint32_t(body.size());
    for (int s : {24, 16, 8, 0})
        c.push_back(uint8_t(n >> s));
    c.insert(c.end(), body.begin(), body.end());
    return c;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(HostileBitmap, EndlessRunsStayInsideTheRow) {
    // A 1 x 1 picture followed by runs of 255 pixels adding up past 2^31 columns.
    const std::vector<uint8_t> runs = RleOverflowBmp();
    ASSERT_GT(runs.size(), 16u << 20);
    BitmapData b = DecodeBmpFile(runs.data(), runs.size());
    EXPECT_EQ(b.Width, 1);
    EXPECT_EQ(b.Raw(0, 0), 7u) << "the first run's pixel; the rest are cut off";

    // Deltas moving right by 255, again past 2^31 columns, then one pixel.
    Bytes deltas = InfoHeader(4, 1, 8, 1, 2);
    deltas.u32(0).u32(0xFFFFFF);
    const size_t count = (size_t(1) << 31) / 255 + 8;
    deltas.b.reserve(deltas.b.size() + count * 4 + 4);
    for (size_t i = 0; i < count; ++i)
        deltas.u8(0).u8(2).u8(255).u8(0);
    deltas.u8(1).u8(1).u8(0).u8(1);
    BitmapData d = DecodePackedDib(deltas.b.data(), deltas.b.size());
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d.Raw(x, 0), 0u);

    // RLE4 runs and absolute runs past the row end are cut off at the row.
    Bytes rle4 = InfoHeader(3, 2, 4, 2, 2);
    rle4.u32(0).u32(0xFFFFFF);
    rle4.u8(255).u8(0x11).u8(0).u8(0);                 // bottom row: 255 pixels of 1
    rle4.u8(0).u8(5).u8(0x10).u8(0x10).u8(0x10).u8(0); // top row: absolute 1 0 1 0 1
    rle4.u8(0).u8(1);
    BitmapData f = DecodePackedDib(rle4.b.data(), rle4.b.size());
    EXPECT_EQ(f.Raw(2, 1), 1u);
    EXPECT_EQ(f.Raw(0, 0), 1u);
    EXPECT_EQ(f.Raw(1, 0), 0u);
    EXPECT_EQ(f.Raw(2, 0), 1u);
}

TEST(HostileBitmap, AHeaderWithoutItsPixelsIsRefused) {
    const std::vector<uint8_t> file = HeaderOnlyBmp(8192, 4096);
    EXPECT_LT(file.size(), 1024u);
    EXPECT_EQ(ErrorOf([&] { DecodeBmpFile(file.data(), file.size()); }), BadBitmap);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(file.data() + 14, file.size() - 14); }), BadDib);
    // One byte short of the last row.
    Bytes cut = InfoHeader(3, 2, 24);
    cut.raw(std::vector<uint8_t>(12 + 8, 0));
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(cut.b.data(), cut.b.size()); }), BadDib);
    cut.u8(0);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(cut.b.data(), cut.b.size()); }), "");
    // A run-length header with no stream at all.
    Bytes noRuns = InfoHeader(8192, 4096, 8, 1, 1);
    noRuns.u32(0);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(noRuns.b.data(), noRuns.b.size()); }), BadDib);
}

TEST(HostileBitmap, PackedColourTablesFollowTheHeaderCount) {
    // 24 bits with a colour count of 2: the table is skipped, not read as pixels.
    Bytes t24 = InfoHeader(2, 1, 24, 0, 2);
    t24.u32(0xAAAAAA).u32(0xBBBBBB);
    t24.u8(0x11).u8(0x22).u8(0x33).u8(0x44).u8(0x55).u8(0x66).u8(0).u8(0);
    BitmapData b = DecodePackedDib(t24.b.data(), t24.b.size());
    EXPECT_EQ(b.Raw(0, 0), 0x332211u);
    EXPECT_EQ(b.Raw(1, 0), 0x665544u);
    EXPECT_TRUE(b.Palette.empty());

    // A count above 256 is held at 256 entries.
    Bytes big = InfoHeader(1, 1, 32, 0, 100000);
    big.raw(std::vector<uint8_t>(256 * 4, 0xEE)).u32(0x00123456);
    EXPECT_EQ(DecodePackedDib(big.b.data(), big.b.size()).Raw(0, 0), 0x123456u);

    // 4 bits with a count of 20: 20 entries, more than the pixels can index.
    Bytes t4 = InfoHeader(2, 1, 4, 0, 20);
    for (uint32_t i = 0; i < 20; ++i)
        t4.u32(i * 0x010101);
    t4.u8(0x3F).u8(0).u8(0).u8(0);
    BitmapData f = DecodePackedDib(t4.b.data(), t4.b.size());
    EXPECT_EQ(f.Raw(0, 0), 3u);
    EXPECT_EQ(f.Raw(1, 0), 15u);
    EXPECT_EQ(f.ColourAt(1, 0), 0x0F0F0Fu);
    EXPECT_EQ(f.Palette[19], 0x131313u);

    // Compression 6 is no packed bitmap; in a bitmap file it is read.
    Bytes alpha = InfoHeader(1, 1, 32, 6);
    alpha.u32(0xFF0000).u32(0xFF00).u32(0xFF).u32(0xFF000000).u32(0x00ABCDEF);
    EXPECT_EQ(ErrorOf([&] { DecodePackedDib(alpha.b.data(), alpha.b.size()); }), BadDib);
    const std::vector<uint8_t> file = WithFileHeader(alpha.b, 56);
    EXPECT_EQ(DecodeBmpFile(file.data(), file.size()).Raw(0, 0), 0xABCDEFu);
}

TEST(HostileArchive, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    const std::vector<uint8_t> deep = DeeplyNestedArchive(200000);
    EXPECT_LT(deep.size(), 500u * 1024);
    EXPECT_EQ(ArchiveError(deep), "ストリームからの読み込みエラー");
    // Nesting as deep as a real stream could want is skipped.
    EXPECT_EQ(ArchiveError(DeeplyNestedArchive(200)), "");
}

TEST(HostileArchive, ExtremeSkipSizesCutPatternsWithoutOverflow) {
    ArchiveItem wide, tall, negative;
    wide.Data = tall.Data = negative.Data = SolidBmp(70, 40);
    wide.PatternWidth = wide.PatternHeight = 32;
    wide.SkipWidth = 0x7FFFFFFF;
    tall.PatternWidth = tall.PatternHeight = 32;
    tall.SkipHeight = 0x7FFFFFFF;
    tall.SkipWidth = 6;
    negative.PatternWidth = negative.PatternHeight = 32;
    negative.SkipWidth = -0x7FFFFFFF - 1;
    const std::vector<uint8_t> bytes = WriteArchive({wide, tall, negative});
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    SpriteSheet list(&display);
    list.LoadFromBytes(bytes.data(), bytes.size());
    display.Open();
    ASSERT_EQ(list.Items.Items(0).PatternCount(), 1) << "one pattern, then a gap past any picture";
    EXPECT_EQ(list.Items.Items(0).Pattern(0).Area.Left, 0);
    ASSERT_EQ(list.Items.Items(1).PatternCount(), 2);
    EXPECT_EQ(list.Items.Items(1).Pattern(1).Area.Left, 38);
    EXPECT_EQ(list.Items.Items(2).PatternCount(), 0);
}

// Both picture readers on one file within 256 MB of address space: 0 when both
// refuse it with `expected`.
int PngRefusedWithinLittleMemory(const std::vector<uint8_t>& file, const std::string& expected) {
    const rlimit limit{size_t(256) << 20, size_t(256) << 20};
    setrlimit(RLIMIT_AS, &limit);
    std::vector<uint16_t> out(16);
    const std::string whole = ErrorOf([&] { DecodePng(file.data(), file.size()); });
    const std::string rows =
        ErrorOf([&] { DrawPngStretched(file.data(), file.size(), out.data(), 4, 4); });
    return whole == expected && rows == expected ? 0 : 1;
}

TEST(HostilePng, AChunkLongerThanTheFileCostsNoMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than this test allows";
#else
    // 111 bytes whose text chunk claims 2 GB, refused as libpng refuses any
    // chunk that runs past the end of the file.
    const std::vector<uint8_t> file = ReadWholeFile(
        std::string(TAPPO_TESTS_DIR) + "/data/regressions/png/text-chunk-claims-2gb.png");
    EXPECT_EXIT(
        std::exit(PngRefusedWithinLittleMemory(file, "PNG エラー: read beyond end of data")),
        testing::ExitedWithCode(0), "");
#endif
}

TEST(HostileWave, RatesOutsideTheRangeAreRefusedAndLoadingNeverThrows) {
    const std::string badFmt = "のfmtチャンクが不正です";
    for (uint32_t rate : {1u, 999u, 768001u, 0xFFFFFFFFu}) {
        WaveFormat format;
        std::string problem;
        EXPECT_EQ(DecodeWave(LowRateWave(rate, 4000), format, problem), nullptr) << rate;
        EXPECT_EQ(problem, badFmt) << rate;
    }
    WaveFormat format;
    std::string problem;
    auto lowest = DecodeWave(LowRateWave(1000, 100), format, problem);
    ASSERT_TRUE(lowest) << problem;
    EXPECT_EQ(lowest->Frames(), 4410u);

    // A sample that would convert to more than twenty minutes is refused.
    auto longest = DecodeWave(LowRateWave(1000, 1000 * 60 * 21), format, problem);
    EXPECT_EQ(longest, nullptr);
    EXPECT_EQ(problem, "のdataチャンクが長すぎます");

    // Through the sound component: a log line, never an exception.
    TempDir dir;
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    WriteFileAtomic(dir.File("slow.wav"), LowRateWave(1, 40000));
    std::unique_ptr<Sample> sample;
    EXPECT_NO_THROW(sample = sound.LoadSample(dir.File("slow.wav")));
    ASSERT_TRUE(sample);
    EXPECT_FALSE(sample->HasBuffer());
    std::ifstream log(dir.File("ddsd.debug"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "debug#00001 ... " + dir.File("slow.wav") + badFmt);
}

TEST(HostileMidi, OnlyWholeChunkStructuresOpen) {
    const std::vector<uint8_t> header = MidiChunk("MThd", {0, 1, 0, 2, 1, 0xE0});
    const std::vector<uint8_t> track = MidiChunk("MTrk", {0, 0xFF, 0x2F, 0});
    auto valid = [](const std::vector<uint8_t>& b) {
        return MidiStructureValid(b.data(), b.size());
    };
    EXPECT_TRUE(valid(Concat({header, track, track})));
    EXPECT_TRUE(valid(Concat({header, MidiChunk("XFIH", {1, 2, 3}), track, track})))
        << "chunks of other kinds are skipped";
    EXPECT_TRUE(valid(Concat({header, track, track, {'j', 'u', 'n', 'k'}})))
        << "bytes after the counted tracks are ignored";

    std::vector<uint8_t> garbage = header;
    for (int i = 0; i < 300; ++i)
        garbage.push_back(uint8_t(i * 37 + 11));
    EXPECT_FALSE(valid(garbage));
    EXPECT_FALSE(valid(Concat({header, track}))) << "one of two tracks";
    std::vector<uint8_t> cut = Concat({header, track, track});
    cut.pop_back();
    EXPECT_FALSE(valid(cut)) << "the last track runs past the end";
    EXPECT_FALSE(valid(Concat({MidiChunk("MThd", {0, 1, 0}), track}))) << "a short header";
    EXPECT_FALSE(valid(Concat({MidiChunk("MThd", {0, 1, 0, 0, 1, 0xE0}), track}))) << "no tracks";
    EXPECT_FALSE(valid(Concat({MidiChunk("MThd", {0, 3, 0, 1, 1, 0xE0}), track}))) << "format 3";
    std::vector<uint8_t> longHeader = Concat({header, track, track});
    longHeader[4] = 0xFF; // header length past the end
    EXPECT_FALSE(valid(longHeader));

    // Open refuses such a file with its message, so the chart reports it.
    TempDir dir;
    WriteFileAtomic(dir.File("garbage.mid"), garbage);
    MusicPlayer music(dir.File("no-such.sf2"));
    music.FileName = dir.File("garbage.mid");
    EXPECT_EQ(ErrorOf([&] { music.Open(); }),
              dir.File("garbage.mid") + " は MIDI ファイルではありません");
    EXPECT_FALSE(music.IsOpen());
}

TEST(HostileChartMedia, FilesPastTheMemoryBudgetAreRefusedWithOneMessage) {
    // Four sounds of about 1 MB (kept as they are) against a 2 MB budget: two load,
    // the third says the budget is spent, the fourth is refused silently, and
    // a slot naming a file already loaded still gets it. Pictures the same.
    TempDir dir;
    WriteFileAtomic(dir.File("step.wav"), LowRateWave(8000, 10));
    ChartData chart;
    for (int i = 1; i <= 4; ++i) {
        Bytes w;
        w.str("RIFF").u32(4 + 8 + 16 + 8 + 1000000).str("WAVE");
        w.str("fmt ").u32(16).u16(1).u16(2).u32(44100).u32(176400).u16(4).u16(16);
        w.str("data").u32(1000000);
        w.b.resize(w.b.size() + 1000000, uint8_t(i));
        chart.WavFileNames[size_t(i)] = dir.File("s" + std::to_string(i) + ".wav");
        WriteFileAtomic(chart.WavFileNames[size_t(i)], w.b);
        chart.BmpFileNames[size_t(i)] = dir.File("b" + std::to_string(i) + ".bmp");
        WriteFileAtomic(chart.BmpFileNames[size_t(i)], SolidBmp(580, 580, uint32_t(i)));
    }
    chart.WavFileNames[5] = chart.WavFileNames[1];
    chart.BmpFileNames[5] = chart.BmpFileNames[1];
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    KeysoundBank slots;
    FileResolver files;
    ASSERT_TRUE(LoadKeysounds(
        slots, {.Chart = chart, .Sound = sound, .ProgramFolder = dir.Folder(), .Files = files}, {},
        2 << 20));
    EXPECT_TRUE(slots[1]->HasBuffer() && slots[2]->HasBuffer());
    EXPECT_FALSE(slots[3]->HasBuffer() || slots[4]->HasBuffer());
    EXPECT_EQ(slots[5]->Pcm(), slots[1]->Pcm());
    EXPECT_EQ(LogLines(dir.File("ddsd.debug")),
              std::vector<std::string>{"debug#00001 ... " + chart.WavFileNames[3] +
                                       "は読み込みません: 効果音のメモリ (2 MB) を使い切りました。"
                                       "これより後の効果音も読み込みません"});

    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    BgaBank surfaces;
    int32_t layer = -1;
    const std::string error = ErrorOf([&] {
        LoadBgaImages(BgaLoad{surfaces, chart, display, layer, files, {}, 0, 0, 2 << 20});
    });
    EXPECT_EQ(error, "画像 " + chart.BmpFileNames[3] +
                         "は読み込みません: 背景画像のメモリ (2 MB) を使い切りました。"
                         "これより後の画像も読み込みません");
    EXPECT_TRUE(surfaces[1] && surfaces[2] && surfaces[5]);
    EXPECT_FALSE(surfaces[3] || surfaces[4]);
}

TEST(HostileChartMedia, TheLogGivesTheRealReasonAFileFailed) {
    TempDir dir;
    const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileAtomic(dir.File(name), bytes);
        return dir.File(name);
    };
    // An AU file at a rate the player refuses, read by the compressed reader.
    std::vector<uint8_t> au = {'.', 's', 'n', 'd', 0, 0, 0, 24, 0, 0, 0, 8, 0, 0, 0, 3,
                               0,   0,   0,   1,   0, 0, 0, 1,  0, 0, 0, 0, 0, 0, 0, 0};
    const std::string lowRate = write("low.ogg", au), empty = write("empty.ogg", {}),
                      mp3 = write("bad.mp3", {0xFF, 0xFB, 0x90, 0x64, 1, 2, 3, 4, 5, 6, 7}),
                      text = write("text.ogg", {'h', 'i'});
    ProblemLog problems(dir.File("ddsd.debug"));
    Mixer sound(problems);
    for (const std::string& path : {lowRate, empty, mp3, text})
        EXPECT_FALSE(sound.LoadSample(path)->HasBuffer()) << path;
    EXPECT_EQ(
        LogLines(dir.File("ddsd.debug")),
        (std::vector<std::string>{"debug#00001 ... " + lowRate + "のfmtチャンクが不正です",
                                  "debug#00002 ... " + empty + "は、空のファイルです",
                                  "debug#00003 ... " + mp3 + "は、MP3 ファイルとして読めません",
                                  "debug#00004 ... " + text + "は、WAVEファイルではありません"}));
    const std::string emptyPng = write("empty.png", {});
    EXPECT_EQ(ErrorOf([&] { ReadBgaPicture(emptyPng); }),
              "画像ファイル " + emptyPng + " は空です (PNG)");
}

TEST(HostileChartMedia, EveryPictureThatDoesNotLoadIsNamedWithItsReason) {
    // The reader's own text after the file's name: in the problem list the
    // player logs, and in the error the load throws for the first.
    TempDir dir;
    const auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileAtomic(dir.File(name), bytes);
        return dir.File(name);
    };
    ChartData chart;
    chart.SlotLimit = 8;
    chart.BmpFileNames[1] = write("bad.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 9, 9});
    chart.BmpFileNames[2] = write("bad.bmp", {'B', 'M', 1, 2, 3});
    chart.BmpFileNames[3] = write("anim.bmp", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    chart.BmpFileNames[4] = write("still.png", Bytes().str("RIFF").u32(4).str("WEBPVP8 ").b);
    chart.BmpFileNames[5] = write("one.jpeg", {'x'});
    HeadlessPresenter presenter;
    Display display(presenter, nullptr);
    display.Open();
    BgaBank surfaces;
    int32_t layer = -1;
    FileResolver files;
    std::vector<std::string> problems;
    const std::string error = ErrorOf([&] {
        LoadBgaImages(BgaLoad{
            surfaces, chart, display, layer, files, {}, 0, 0, PictureBudgetBytes, &problems});
    });
    ASSERT_EQ(problems.size(), 5U);
    EXPECT_EQ(error, problems[0]);
    EXPECT_EQ(problems[0].rfind(chart.BmpFileNames[1] + ": JPEG エラー #", 0), 0U) << problems[0];
    EXPECT_EQ(problems[1], chart.BmpFileNames[2] + ": ビットマップイメージが不正です");
    EXPECT_EQ(problems[2], chart.BmpFileNames[3] + ": GIF 形式の画像には対応していません");
    EXPECT_EQ(problems[3], chart.BmpFileNames[4] + ": WebP 形式の画像には対応していません");
    EXPECT_EQ(problems[4].rfind(chart.BmpFileNames[5] + ": JPEG エラー #", 0), 0U) << problems[4];
    EXPECT_EQ(ErrorOf([&] { ReadBgaPicture(chart.BmpFileNames[2]); }), problems[1]);
}
