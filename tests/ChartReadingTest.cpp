// Reading chart text: number conversion, line splitting, Shift-JIS and the
// header scan, the folder a chart's file names are kept in.
#include "TestUtil.h"
#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "chart/Convert.h"
#include "chart/FileLookup.h"
#include "chart/ShiftJis.h"
#include "chart/exact/HeaderScan.h"
#include "chart/exact/Lines.h"

#include <gtest/gtest.h>

using namespace tappo;
using namespace tappo::test;

namespace {

struct Scan {
    PlaySettings state;
    ChartHeader header;
    std::string Run(const std::string& text, char sep = '.') {
        return ErrorOf(
            [&] { exact::ScanHeaderLines(exact::SplitLines(text), state, header, sep); });
    }
};

} // namespace

TEST(Convert, Integers) {
    int32_t v = 0;
    const std::pair<const char*, int32_t> good[] = {{"5", 5},
                                                    {"  5", 5},
                                                    {"+7", 7},
                                                    {"-12", -12},
                                                    {"$A", 10},
                                                    {"$a", 10},
                                                    {"x1f", 31},
                                                    {"X1F", 31},
                                                    {"0x10", 16},
                                                    {"0X10", 16},
                                                    {"$FFFFFFFF", -1},
                                                    {"$000000010", 16},
                                                    {"2147483647", INT32_MAX},
                                                    {"-2147483648", INT32_MIN},
                                                    {"007", 7},
                                                    {"0", 0}};
    for (auto [text, expected] : good) {
        ASSERT_TRUE(TryStrToInt(text, v)) << text;
        EXPECT_EQ(v, expected) << text;
    }
    for (const char* bad : {"", "   ", "5 ", "\t5", "2147483648", "-2147483649", "$", "0x", "x",
                            "$100000000", "-$5", "+", "1a", "$G1", "1.0", "0x-1"})
        EXPECT_FALSE(TryStrToInt(bad, v)) << "'" << bad << "'";
    EXPECT_EQ(ErrorOf([] { StrToInt("5 "); }), "'5 ' は整数ではありません");
}

TEST(Convert, Reals) {
    double v = 0;
    const std::pair<const char*, double> good[] = {
        {"150", 150}, {"150 ", 150},  {"  1.5e3", 1500}, {"-0.25", -0.25},   {".5", 0.5},
        {"5.", 5},    {"1E-2", 0.01}, {"+2", 2},         {"145.5  ", 145.5}, {"1e-999", 0}};
    for (auto [text, expected] : good) {
        ASSERT_TRUE(TryStrToFloat(text, '.', v)) << text;
        EXPECT_DOUBLE_EQ(v, expected) << text;
    }
    for (const char* bad :
         {"", " ", ".", "e5", "1e", "1e+", "1 120", "1.5x", "1,5", "--1", "1e999", "-1e400"})
        EXPECT_FALSE(TryStrToFloat(bad, '.', v)) << "'" << bad << "'";
    ASSERT_TRUE(TryStrToFloat("1,5", ',', v)) << "the locale's separator";
    EXPECT_DOUBLE_EQ(v, 1.5);
    EXPECT_FALSE(TryStrToFloat("1.5", ',', v));
    EXPECT_EQ(ErrorOf([] { StrToFloat("1 120", '.'); }), "'1 120' は浮動小数点数ではありません");
}

TEST(ShiftJis, ConvertsCodePage932ForDisplay) {
    EXPECT_EQ(Cp932ToUtf8("plain"), "plain");
    EXPECT_EQ(Cp932ToUtf8("\x83\x65\x83\x58\x83\x67"), "テスト");
    EXPECT_EQ(Cp932ToUtf8("a\\b"), "a\\b") << "0x5C stays a backslash";
    EXPECT_EQ(Cp932ToUtf8("\x87\x40"), "①") << "NEC extension";
    EXPECT_EQ(Cp932ToUtf8("x\x83"), "x\xEF\xBF\xBD") << "a cut-off character";
    EXPECT_EQ(Cp932ToUtf8("\xFF"
                          "a"),
              "\xEF\xBF\xBD"
              "a");
}

TEST(Lines, SplitsAtEveryLineEndAndCutsAt255) {
    auto lines = exact::SplitLines("a\r\nb\rc\nd\n\ne");
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(exact::SplitLines("a\n").size(), 1u) << "a final line end makes no extra line";
    EXPECT_EQ(exact::SplitLines("\r\r\r").size(), 3u);
    EXPECT_EQ(exact::SplitLines("\r\n\r\n").size(), 2u);
    EXPECT_TRUE(exact::SplitLines("").empty());
    EXPECT_EQ(exact::SplitLines(std::string_view("ab\0cd\nef", 8)),
              std::vector<std::string_view>{"ab"})
        << "NUL ends the text";
    const std::string text = std::string(10000, 'x') + "\nshort";
    auto cut = exact::SplitLines(text);
    EXPECT_EQ(cut[0].size(), 255u);
    EXPECT_EQ(cut[1], "short");

    EXPECT_TRUE(exact::StartsWithKey("#title x", 6, "#TITLE"));
    EXPECT_TRUE(exact::StartsWithKey("#TITLE", 6, "#TITLE"));
    EXPECT_FALSE(exact::StartsWithKey("#TITL", 6, "#TITLE"));
    EXPECT_FALSE(exact::StartsWithKey("#TÍTLE", 6, "#TITLE"));
    EXPECT_EQ(exact::Columns("#WAV01 a.wav", 8), "a.wav");
    EXPECT_EQ(exact::Columns("#WAV01", 8), "");
    EXPECT_EQ(exact::Columns("#PLAYER 1 x", 8, 5), " 1 x");
}

TEST(HeaderScan, KeysValuesAndSeparators) {
    Scan s;
    EXPECT_EQ(s.Run("#title My Song\n#ARTIST  Someone\n#genre Trance\n#BPM 150 \n"
                    "#PLAYLEVEL5\n#MIDIFILE bgm.mid\n#PLAYER 2\n"),
              "");
    EXPECT_EQ(s.header.Title, "My Song");
    EXPECT_EQ(s.header.Artist, " Someone") << "only one separator column is skipped";
    EXPECT_EQ(s.state.Genre, "Trance");
    EXPECT_EQ(s.state.Bpm, 150.0);
    EXPECT_EQ(s.state.PlayLevel, 5);
    EXPECT_EQ(s.header.MidiFileName, "bgm.mid");
    EXPECT_EQ(s.header.PlayerMode, 2);

    EXPECT_EQ(s.Run("#PLAYLEVEL $A\n#PLAYER    3\n#TITLE First\n#TITLE Second\n"), "");
    EXPECT_EQ(s.state.PlayLevel, 10);
    EXPECT_EQ(s.header.PlayerMode, 3) << "five columns: four spaces and the digit";
    EXPECT_EQ(s.header.Title, "Second") << "the last occurrence wins";
    EXPECT_EQ(s.state.Genre, "Trance") << "a key the chart lacks keeps its old value";

    EXPECT_EQ(s.Run("#TITLE " + std::string(293, 't')), "");
    EXPECT_EQ(s.header.Title.size(), 248u) << "columns 8 to 255";

    // A file without any key changes nothing.
    Scan before = s;
    EXPECT_EQ(s.Run("nothing here\n#WAV01 a.wav\n\n"), "");
    EXPECT_EQ(s.header.Title, before.header.Title);
    EXPECT_EQ(s.state.Bpm, before.state.Bpm);
}

TEST(HeaderScan, ErrorsStopAtTheirLineKeepingEarlierValues) {
    Scan s;
    EXPECT_EQ(s.Run("#TITLE A\n#BPM01 120\n#TITLE B\n"), "'1 120' は浮動小数点数ではありません");
    EXPECT_EQ(s.header.Title, "A") << "later lines are not read";
    EXPECT_EQ(s.Run("#PLAYLEVEL 5 \n"), "' 5 ' は整数ではありません")
        << "the separator is copied too";
    EXPECT_EQ(s.Run("#PLAYER 1 x\n"), "' 1 x' は整数ではありません");
    EXPECT_EQ(s.Run("#PLAYLEVEL\t5\n"), "'\t5' は整数ではありません");
    EXPECT_EQ(ErrorOf([&] { exact::ScanHeader("/nonexistent/a.bms", s.state, s.header, '.'); }),
              "ファイル /nonexistent/a.bms は開けません");
}

TEST(ChartReading, AsciiCaseChangesOnlyAsciiLetters) {
    // Bytes above 0x7F (Shift-JIS, UTF-8) never change, whatever the locale.
    EXPECT_EQ(AsciiUpper("ab\x83\x81z~"), "AB\x83\x81Z~");
    EXPECT_EQ(AsciiLower("AB\xC9\xE9Z@["), "ab\xC9\xE9z@[");
    EXPECT_EQ(AsciiUpper("`{"), "`{");
    EXPECT_EQ(AsciiLower("@["), "@[");
}

TEST(ChartReading, ShiftJisLeadBytes) {
    for (int c : {0x81, 0x9F, 0xE0, 0xFC})
        EXPECT_TRUE(IsShiftJisLeadByte(uint8_t(c))) << c;
    for (int c : {0x5C, 0x80, 0xA0, 0xDF, 0xFD})
        EXPECT_FALSE(IsShiftJisLeadByte(uint8_t(c))) << c;
}

TEST(ChartReading, FileNamesAreKeptInsideTheirFolder) {
    EXPECT_EQ(KeptInside("/s/p/c/../common/k.wav", "/s/"), "/s/p/c/../common/k.wav")
        << "inside: unchanged";
    EXPECT_EQ(KeptInside("/s/p/c/../../../../etc/passwd", "/s"), "/s/etc/passwd");
    // The file system ends a name at a NUL byte: that name is the one checked.
    EXPECT_EQ(KeptInside(std::string("/s/../../x.wav") + '\0' + "/../../s/y", "/s"), "/s/x.wav");
    EXPECT_EQ(KeptInside("/s/p/..\\..\\..\\x.wav", "/s/p/"), "/s/p/x.wav");
    EXPECT_EQ(KeptInside("/s/p/a\\b/../../x.wav", "/s/p"), "/s/p/x.wav")
        << "the name as written would climb out, though its \"\\\" form would not";
    EXPECT_EQ(KeptInside("/etc/passwd", ""),
              std::filesystem::current_path().string() + "/etc/passwd")
        << "a chart in the current folder: an absolute name is taken below it";
    EXPECT_EQ(ChartFilesRoot("/s/p/c.bms", {"/t", "/s/"}), "/s/");
    EXPECT_EQ(ChartFilesRoot("/s/p/c.bms", {}), "/s/p/");
    EXPECT_EQ(ChartFilesRoot("c.bms", {}), ".");
}
