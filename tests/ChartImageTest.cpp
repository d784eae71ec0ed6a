// The chart image: every note of a small chart where its --inspect listing
// puts it (its lane, and its height in its measure), in both readings, and a
// chart of any size drawn in pictures of bounded size.
#include "render/ChartImage.h"
#include "TestUtil.h"
#include "chart/Reading.h"
#include "files/Files.h"
#include "formats/Png.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

using namespace tappo;
using namespace tappo::test;

namespace {

constexpr uint32_t Scratch = 0xFF3C46, White = 0xECEEF6, Blue = 0x4696FF, Mine = 0xE61E28;
constexpr uint32_t Arrows[4] = {0xF046AA, 0x46A0FF, 0x5AE16E, 0xFFA032};

struct Drawn {
    Image Picture;
    std::unique_ptr<ChartImagePages> Pages;
    ChartScore Score;
};

Drawn DrawChart(const TempDir& dir, const std::string& name, const std::string& text,
                const ChartReading& reading) {
    WriteFileAtomic(dir.File(name), std::vector<uint8_t>(text.begin(), text.end()));
    Drawn d;
    d.Score = ScoreChartFile(dir.File(name), '.', reading);
    d.Pages = std::make_unique<ChartImagePages>(d.Score, ChartImageLimits{}, Lettering());
    const std::vector<std::string> files =
        WriteChartImages(d.Score, dir.File("score.png"), ChartImageLimits{}, Lettering());
    EXPECT_EQ(files, std::vector<std::string>{dir.File("score.png")});
    const std::vector<uint8_t> png = ReadWholeFile(dir.File("score.png"));
    d.Picture = DecodePng(png.data(), png.size());
    return d;
}

// The row of a note `place` (0 to 1) of the way up measure `m`.
int RowIn(const ChartImagePages& pages, int m, double place) {
    const auto at = pages.PlaceOfMeasure(m);
    return int(std::lround(at.Bottom - place * (at.Bottom - at.Top)));
}

void ExpectNoteAt(const Drawn& d, int m, double place, int lane, uint32_t colour,
                  const std::string& what) {
    const int row = RowIn(*d.Pages, m, place);
    const int x = d.Pages->PlaceOfMeasure(m).LanesX + d.Pages->LaneX(lane) + 2;
    EXPECT_EQ(d.Picture.At(x, row), colour) << what;
    EXPECT_NE(d.Picture.At(x, row - 3), colour) << what << ": one note, at its row";
}

} // namespace

TEST(ChartImage, StandardNotesSitInTheirKeyLanesAtTheirListedHeight) {
    TempDir dir;
    const std::string chart = "#TITLE Score\n#BPM 120\n#WAV01 a.wav\n#BPM01 200\n"
                              "#00016:01000000\n#00011:00010000\n#00112:0000000001000000\n"
                              "#00202:0.75\n#00213:000001\n#00308:01\n#00319:0001\n"
                              "#00415:0101\n#005D2:0001\n#00651:01000001\n";
    ChartReading reading;
    reading.Standard = true;
    const Drawn d = DrawChart(dir, "a.bme", chart, reading);
    // Keys 6 (scratch), 1-5, 8, 9 from the left; white and blue in turn.
    const std::map<std::string, int> laneOf = {{"16", 0}, {"11", 1}, {"12", 2}, {"13", 3},
                                               {"14", 4}, {"15", 5}, {"18", 6}, {"19", 7},
                                               {"D2", 2}, {"51", 1}};
    const uint32_t colours[8] = {Scratch, White, Blue, White, Blue, White, Blue, White};
    std::map<int, std::pair<double, double>> measures; // start beat, beats
    std::istringstream listing(InspectChart(dir.File("a.bme"), '.', reading));
    int notes = 0;
    for (std::string line; std::getline(listing, line);) {
        std::istringstream in(line);
        std::string word, ms, channel, slot, kind;
        double beat = 0;
        int m = 0;
        in >> word;
        if (word == "Measure") {
            in >> m >> ms >> measures[m].first >> measures[m].second;
            continue;
        }
        if (word != "Object") continue;
        in >> ms >> ms >> beat >> m >> channel >> slot >> kind;
        if (kind != "Note" && kind != "LongStart" && kind != "Mine") continue;
        const double place = (beat - measures[m].first) / measures[m].second;
        const int lane = laneOf.at(channel);
        ExpectNoteAt(d, m, place, lane, kind == "Mine" ? Mine : colours[lane], line);
        ++notes;
    }
    EXPECT_EQ(notes, 9);
    // A 3/4 measure is three quarters as tall as a 4/4 one.
    const auto four = d.Pages->PlaceOfMeasure(1), three = d.Pages->PlaceOfMeasure(2);
    EXPECT_DOUBLE_EQ((three.Bottom - three.Top) * 4, (four.Bottom - four.Top) * 3);
    // The long note's bar runs from its head to its tail.
    const int x = d.Pages->PlaceOfMeasure(6).LanesX + d.Pages->LaneX(1) + 3;
    EXPECT_NE(d.Picture.At(x, RowIn(*d.Pages, 6, 0.5)), d.Picture.At(x, RowIn(*d.Pages, 5, 0.5)));
}

TEST(ChartImage, ExactNotesSitOnTheirArrowLanesAtTheirListedTime) {
    TempDir dir;
    const std::string chart = "#PLAYER 1\n#BPM 150\n#WAV01 a.wav\n#00011:0100\n#00013:0001\n"
                              "#00102:0.75\n#00115:000100\n#00203:C8\n#00216:01010101\n"
                              "#00311:00000001\n";
    const Drawn d = DrawChart(dir, "a.bms", chart, ChartReading());
    std::vector<std::pair<double, double>> measures; // start, length in ms
    std::istringstream listing(InspectChart(dir.File("a.bms"), '.', ChartReading()));
    int notes = 0;
    for (std::string line; std::getline(listing, line);) {
        std::istringstream in(line);
        std::string word;
        double value = 0;
        in >> word;
        int m = 0;
        if (word == "MeasureStart" && in >> m >> value) measures.push_back({value, 0});
        if (word == "MeasureLength" && in >> m >> value) measures[size_t(m)].second = value;
        if (word.rfind("LaneNotes[1][", 0) != 0 || !(in >> value)) continue;
        const int lane = word[13] - '0';
        m = 0;
        while (size_t(m + 1) < measures.size() && measures[size_t(m + 1)].first <= value)
            ++m;
        const double place = (value - measures[size_t(m)].first) / measures[size_t(m)].second;
        ExpectNoteAt(d, m, place, lane, Arrows[lane], line);
        ++notes;
    }
    EXPECT_EQ(notes, 8);
    EXPECT_EQ(d.Score.Tempos.size(), 2u);
    const auto four = d.Pages->PlaceOfMeasure(0), three = d.Pages->PlaceOfMeasure(1);
    EXPECT_DOUBLE_EQ((three.Bottom - three.Top) * 4, (four.Bottom - four.Top) * 3);
}

TEST(ChartImage, AnyNumberOfMeasuresMakesPicturesOfBoundedSize) {
    ChartScore score;
    score.ArrowLanes = false;
    score.Layout = KeyLayout::Keys14;
    score.MeasureBeats.assign(100'000, 4.0);
    score.MeasureBeats[7] = 1e300; // drawn no taller than a few measures
    score.MeasureBeats[8] = 0;
    score.Notes.push_back({2e300, 2e300, 3, ScoreNoteKind::Note});
    ChartImageLimits limits;
    limits.MeasuresPerColumn = 64;
    const ChartImagePages pages(score, limits, Lettering());
    ASSERT_GT(pages.PageCount(), 1);
    for (int p = 0; p < pages.PageCount(); ++p) {
        const PictureSize size = pages.PageSize(p);
        EXPECT_LE(size.Width, limits.MaxWidth);
        EXPECT_LE((long long)size.Width * size.Height, limits.MaxPixels);
    }
    const IndexedImage last = pages.DrawPage(pages.PageCount() - 1);
    EXPECT_EQ(last.Width, pages.PageSize(pages.PageCount() - 1).Width);
}
