// The chart compiler: timing tables, tempo changes, event records and their
// order, the song's end, and every malformed line.
#include "chart/exact/Compiler.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "chart/exact/Inspect.h"

#include <gtest/gtest.h>
#include <memory>

using namespace tappo;
using namespace tappo::test;

namespace {

// A run of compiles as the player makes them: each chart starts from what the
// one before leaves, and a failed compile leaves its chart as far as it got.
struct Compiled {
    std::unique_ptr<CompiledChart> compiled = std::make_unique<CompiledChart>();
    PlaySettings& state = compiled->GameState;
    ChartHeader& header = compiled->Header;
    ChartData* chart = &compiled->Data;
    std::string& folder = compiled->SongFolder;

    // Compiles `text` as the chart "/songs/x/chart.bms"; returns the error text.
    std::string Run(const std::string& text) {
        const ChartCarryOver before{header, state, folder};
        try {
            *compiled = exact::Compile(text, "/songs/x/chart.bms", '.', before);
        } catch (const CompileError& e) {
            *compiled = e.Partial();
            return e.what();
        }
        return "";
    }
    std::vector<std::string> Texts(int list) const {
        std::vector<std::string> out;
        for (const EventRecord& r : chart->Events[list])
            out.push_back(r.Text());
        return out;
    }
    using Strings = std::vector<std::string>;
};

using Strings = std::vector<std::string>;

} // namespace

TEST(Compiler, WorkedExample) {
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 120\n#00103:96\n#00211:01000200\n"), "");
    const ChartData& d = *c.chart;
    EXPECT_DOUBLE_EQ(d.MeasureLength[0], 2000);
    EXPECT_DOUBLE_EQ(d.MeasureLength[1], 1600);
    EXPECT_DOUBLE_EQ(d.MeasureLength[999], 1600);
    EXPECT_DOUBLE_EQ(d.MeasureStart[1], 3000);
    EXPECT_DOUBLE_EQ(d.MeasureStart[3], 6200);
    EXPECT_EQ(c.Texts(SoundEventsIndex), (Strings{"000460001", "000540002"}));
    EXPECT_EQ(c.Texts(LaneNotesIndex), (Strings{"0004600", "0005400"}));
    EXPECT_EQ(c.Texts(StepTickEventsIndex), (Strings{"0004580", "0005380"}));
    EXPECT_EQ(d.LastSoundTime, 8200);
    EXPECT_DOUBLE_EQ(c.state.ScrollSpeed, 0.064);
    EXPECT_EQ(c.folder, "/songs/x/");
    EXPECT_EQ(exact::FormatEventTime(2, 4, 2, d), "0005400");
    EXPECT_EQ(exact::FormatStepTime(0, 1, 0, d), "0000980");
}

TEST(Compiler, MeasureLengthIsScaledByALaterTempoChange) {
    // A channel-02 line: 1500 ms, then scaled by the tempo change.
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 120\n#00103:96\n#00211:01000200\n#00302:0.75\n"), "");
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[3], 1200);
}

TEST(Compiler, DefaultTempoAndMeasureZero) {
    Compiled c;
    ASSERT_EQ(c.Run("#00011:01\n"), "");
    EXPECT_NEAR(c.chart->MeasureLength[5], 240000.0 / 130, 1e-9);
    EXPECT_NEAR(c.chart->MeasureStart[1], 2846.15, 0.01);
    EXPECT_EQ(c.Texts(SoundEventsIndex), Strings{"000100001"});
    EXPECT_EQ(c.Texts(StepTickEventsIndex), Strings{"0000980"});
    EXPECT_EQ(c.state.BgaBaseImage, 153);
    EXPECT_FALSE(c.chart->HasBga);
}

TEST(Compiler, TempoChangesComeFromTheSnapshot) {
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 120\n#00503:F0\n#00803:3C\n"), "");
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[4], 2000);
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[5], 1000);
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[7], 1000);
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[8], 4000);
    EXPECT_DOUBLE_EQ(c.chart->MeasureLength[999], 4000);
    // Two changes in one measure: the value text that sorts last wins, in any file order.
    for (const char* text :
         {"#BPM 120\n#00203:78\n#00203:B4\n", "#BPM 120\n#00203:b4\n#00203:78\n"}) {
        ASSERT_EQ(c.Run(text), "");
        EXPECT_NEAR(c.chart->MeasureLength[2], 120.0 / 180 * 2000, 1e-9) << text;
    }
}

TEST(Compiler, TempoErrors) {
    Compiled c;
    // Only columns 8-9 count, wherever the tempo stands in the data.
    EXPECT_EQ(c.Run("#00103:00B4\n"), "0 による浮動小数点数除算");
    EXPECT_EQ(c.Run("#00103:ZZ\n"), "'$ZZ' は整数ではありません");
    EXPECT_EQ(c.Run("#BPM 0\n"), "0 による浮動小数点数除算");
    EXPECT_EQ(c.Run("#00102:fast\n"), "'fast' は浮動小数点数ではありません");
}

TEST(Compiler, ObjectCountComesFromTheLineLength) {
    Compiled c;
    // Two objects; the same with two trailing spaces gives three slots; an odd
    // last character is dropped.
    ASSERT_EQ(c.Run("#BPM 240\n#00111:0101\n"), "");
    EXPECT_EQ(c.Texts(LaneNotesIndex), (Strings{"0002000", "0002500"}));
    ASSERT_EQ(c.Run("#BPM 240\n#00111:0101  \n"), "");
    EXPECT_EQ(c.Texts(LaneNotesIndex), (Strings{"0002000", "0002333"}));
    ASSERT_EQ(c.Run("#BPM 240\n#00111:01010\n"), "");
    EXPECT_EQ(c.Texts(LaneNotesIndex).size(), 2u);
}

TEST(Compiler, ObjectIds) {
    Compiled c;
    // 0Z is no object; 0a is one, read as slot 10.
    ASSERT_EQ(c.Run("#00101:0Z0a\n"), "");
    ASSERT_EQ(c.chart->Events[SoundEventsIndex].size(), 1u);
    EXPECT_EQ(c.chart->Events[SoundEventsIndex][0].Text().substr(7), "0a");
    EXPECT_EQ(c.chart->Events[SoundEventsIndex][0].Slot(), 10);
}

TEST(Compiler, ChannelsFeedTheirLists) {
    Compiled c;
    // Channel 12: a keysound without an arrow; channel 09: nothing but the end.
    ASSERT_EQ(c.Run("#BPM 120\n#00112:01\n#00509:01\n"), "");
    EXPECT_EQ(c.Texts(SoundEventsIndex).size(), 1u);
    EXPECT_TRUE(c.Texts(StepTickEventsIndex).empty());
    for (int i = LaneNotesIndex; i < 12; ++i)
        EXPECT_TRUE(c.chart->Events[i].empty());
    EXPECT_EQ(c.chart->LastSoundTime, 1000 + 6 * 2000 + 2000);

    // Every lane channel feeds its own list.
    ASSERT_EQ(c.Run("#00011:01\n#00013:01\n#00015:01\n#00016:01\n#00021:01\n#00023:01\n"
                    "#00025:01\n#00026:01\n"),
              "");
    for (int i = LaneNotesIndex; i < 12; ++i)
        EXPECT_EQ(c.chart->Events[i].size(), 1u) << i;
    EXPECT_EQ(c.Texts(SoundEventsIndex).size(), 8u);
    EXPECT_EQ(c.Texts(StepTickEventsIndex).size(), 8u);
}

TEST(Compiler, BackgroundImageEvents) {
    Compiled c;
    // Base and layer events, the first #BMP line's slot shown first.
    ASSERT_EQ(c.Run("#BMP07 a.bmp\n#BMP03 b.bmp\n#00004:0703\n#00007:03\n"), "");
    EXPECT_TRUE(c.chart->HasBga);
    EXPECT_TRUE(c.chart->HasBgaLayer);
    EXPECT_EQ(c.state.BgaBaseImage, 7);
    EXPECT_EQ(c.chart->BmpFileNames[3], "/songs/x/b.bmp");
    EXPECT_EQ(c.Texts(BgaBaseEventsIndex).size(), 2u);
    EXPECT_EQ(c.Texts(BgaLayerEventsIndex).size(), 1u);
}

TEST(Compiler, RecordsSortByTimeThenIdIgnoringCase) {
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 240\n#00001:02\n#00001:01\n#00001:0b\n#00001:0A\n#00011:00000001\n"), "");
    EXPECT_EQ(c.Texts(SoundEventsIndex),
              (Strings{"000100001", "000100002", "00010000A", "00010000b", "000175001"}));
    // A chart whose lines are out of measure order still plays in time order,
    // but its end comes from the last line in the file.
    ASSERT_EQ(c.Run("#BPM 240\n#00501:01\n#00001:01\n"), "");
    EXPECT_EQ(c.Texts(SoundEventsIndex), (Strings{"000100001", "000600001"}));
    EXPECT_EQ(c.chart->LastSoundTime, 1000 + 1000 + 2000);
}

TEST(Compiler, VeryLateTimesKeepTrueOrder) {
    // At 1 beat per minute a measure lasts 240 s: measure 50 starts past 10,000,000 ms.
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 1\n#05001:01\n#00901:02\n#10001:03\n"), "");
    EXPECT_EQ(c.Texts(SoundEventsIndex), (Strings{"216100002", "1200100001", "2400100003"}));
    EXPECT_EQ(c.chart->LastSoundTime, 24001000 + 240000 + 2000);
}

TEST(Compiler, DefinitionsAndResets) {
    Compiled c;
    ASSERT_EQ(c.Run("#PLAYER 2\n#WAV01 kick.wav\n#WAVZZ odd.wav\n#wav0A  spaced name.wav\n"
                    "#WAV02\n#MIDIFILE bgm.mid\n"),
              "");
    EXPECT_EQ(c.chart->WavFileNames[1], "/songs/x/kick.wav");
    EXPECT_EQ(c.chart->WavFileNames[0], "/songs/x/odd.wav") << "a slot that does not convert is 0";
    EXPECT_EQ(c.chart->WavFileNames[10], "/songs/x/ spaced name.wav");
    EXPECT_EQ(c.chart->WavFileNames[2], "/songs/x/") << "an empty name leaves the folder";
    EXPECT_EQ(c.state.Lane1X, 8);
    EXPECT_EQ(c.state.Lane2X, 184);

    // The next chart: no #WAV, #PLAYER 4, no #MIDIFILE.
    ASSERT_EQ(c.Run("#PLAYER 4\n"), "");
    EXPECT_TRUE(c.chart->WavFileNames[1].empty());
    EXPECT_EQ(c.state.Lane2X, 184) << "an unknown player mode keeps the lanes";
    EXPECT_TRUE(c.header.MidiFileName.empty());
    ASSERT_EQ(c.Run("#PLAYER 3\n"), "");
    EXPECT_EQ(c.state.Lane1X, 32);
    EXPECT_EQ(c.state.Lane2X, 160);
}

TEST(Compiler, MalformedLines) {
    Compiled c;
    EXPECT_EQ(c.Run("#0011A:01\n"), "'1A' は整数ではありません");
    EXPECT_EQ(c.Run("#0011A:00\n"), "") << "no object, so the channel is never read";
    EXPECT_EQ(c.Run("#0a111:01\n"), "'0a1' は整数ではありません");
    // A measure field that converts outside 000-999 never reaches the tables.
    EXPECT_EQ(c.Run("#-0111:01\n"), "小節番号 '-01' は 000 から 999 の範囲にありません");
    EXPECT_EQ(c.Run("#-0102:0.5\n"), "小節番号 '-01' は 000 から 999 の範囲にありません");
    EXPECT_EQ(c.Run("# 0111:01\n"), "") << "a leading space converts";

    // An error keeps what was built before it; the lists stay as they were.
    EXPECT_EQ(c.Run("#TITLE Half\n#00011:01\n#0011Z:01\n#00211:01\n"), "'1Z' は整数ではありません");
    EXPECT_EQ(c.header.Title, "Half");
    EXPECT_EQ(c.Texts(LaneNotesIndex).size(), 1u);
}

TEST(Compiler, SurvivesAnyBytes) {
    Compiled c;
    std::string garbage;
    uint32_t seed = 7;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage += char(seed >> 16);
    }
    c.Run(garbage); // an error or nothing, never a crash
    c.Run("\xEF\xBB\xBF#TITLE bom\n#00011:01\n");
    EXPECT_EQ(c.header.Title, "bom") << "a byte-order mark does not hide the first line's key";
    c.Run(std::string(100000, '\r'));
    // Every byte of a real chart damaged in turn.
    const std::string chart =
        "#BPM 120\n#WAV01 a.wav\n#BMP01 b.bmp\n#00103:96\n#00102:0.5\n#00211:01000200\n#00104:01\n";
    for (size_t i = 0; i < chart.size(); ++i)
        for (char flip : {'\x01', '\x20', '\x7F'}) {
            std::string damaged = chart;
            damaged[i] = char(damaged[i] ^ flip);
            c.Run(damaged);
        }
    c.Run("#00011:" + std::string(10000, '1') + "\n");
    EXPECT_EQ(c.Texts(LaneNotesIndex).size(), 124u) << "the line is cut at 255 bytes";
    c.Run("#" + std::string(5000, ':'));
}

TEST(Compiler, MissingFileIsACompileErrorAfterTheReset) {
    ChartCarryOver before;
    before.Header.Title = "Kept";
    before.Header.MidiFileName = "old.mid";
    before.GameState.Bpm = 99;
    before.SongFolder = "/songs/old/";
    try {
        exact::CompileFile("/nonexistent/song.bms", '.', before);
        FAIL();
    } catch (const CompileError& e) {
        EXPECT_STREQ(e.what(), "ファイル /nonexistent/song.bms は開けません");
        EXPECT_EQ(e.Partial().GameState.Bpm, 130.0)
            << "the reset happened before the file was opened";
        EXPECT_EQ(e.Partial().Header.Title, "Kept");
        EXPECT_TRUE(e.Partial().Header.MidiFileName.empty());
        EXPECT_EQ(e.Partial().SongFolder, "/songs/old/")
            << "the folder changes only with a readable chart";
    }
}

TEST(Compiler, ResultDoesNotDependOnThePreviousChartsData) {
    // The same text compiles to the same chart after any other chart.
    Compiled fresh, reused;
    ASSERT_EQ(
        reused.Run("#BPM 90\n#WAV01 a.wav\n#BMP02 b.bmp\n#00103:50\n#00211:0101\n#00307:02\n"), "");
    const std::string text = "#BPM 120\n#00211:01\n";
    ASSERT_EQ(fresh.Run(text), "");
    ASSERT_EQ(reused.Run(text), "");
    EXPECT_EQ(exact::FormatInspection(reused.state, reused.header, *reused.chart),
              exact::FormatInspection(fresh.state, fresh.header, *fresh.chart));
    EXPECT_TRUE(reused.chart->WavFileNames[1].empty());
    EXPECT_FALSE(reused.chart->HasBgaLayer);
}

TEST(Compiler, InspectorListing) {
    Compiled c;
    ASSERT_EQ(c.Run("#TITLE \x83\x65\x83\x58\x83\x67\n#BPM 120\n#00211:01\n"), "");
    const std::string listing = exact::FormatInspection(c.state, c.header, *c.chart);
    EXPECT_EQ(listing.rfind("Title テスト\nArtist \n", 0), 0u) << listing;
    EXPECT_NE(listing.find("MeasureStart 2 5000.000\nMeasureLength 2 2000.000\n"),
              std::string::npos);
    EXPECT_EQ(listing.find("MeasureStart 3"), std::string::npos)
        << "only up to the last measure used";
    EXPECT_NE(listing.find("LaneNotes[1][0] 0005000\n"), std::string::npos);
    EXPECT_NE(listing.find("\nScrollSpeed 0.064\n"), std::string::npos);
}

TEST(Compiler, InspectorListsHugeTimesWhole) {
    // A tempo near zero makes measures hundreds of digits long; the listing
    // writes them whole rather than cutting them off mid-number.
    Compiled c;
    ASSERT_EQ(c.Run("#BPM 1e-300\n#00111:01\n"), "");
    const std::string listing = exact::FormatInspection(c.state, c.header, *c.chart);
    const size_t at = listing.find("MeasureLength 0 ");
    ASSERT_NE(at, std::string::npos);
    const std::string line = listing.substr(at, listing.find('\n', at) - at);
    EXPECT_GT(line.size(), 300u);
    EXPECT_EQ(line.substr(line.size() - 4), ".000") << line;
}
