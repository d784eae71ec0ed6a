// bmson charts in the standard reading: both layouts, the timing, lanes, long
// notes and slices they compile to, the faults they are refused for and those
// in notes and sound channels they are read past, UTF-16 charts, the select
// screen's header, and slices that join sample for sample.
#include "chart/standard/Bmson.h"
#include "HeadlessPlayer.h"
#include "app/Runner.h"
#include "chart/standard/Convert.h"
#include "files/Files.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace tappo;
using namespace tappo::test;

namespace {

// The same chart in the 1.0 layout (at `resolution` pulses a beat) and in the
// 0.21 layout (240 a beat): a tempo change, a stop, a long note, a sound cut
// into continued notes and a picture.
std::string Layout10(int resolution) {
    auto p = [&](int pulses240) { return std::to_string(pulses240 * resolution / 240); };
    return R"({"version": "1.0.0", "info": {"title": "T", "init_bpm": 120, "level": 7,
      "resolution": )" +
           std::to_string(resolution) + R"(, "banner_image": "ban.png", "preview_music": "pre.wav"},
      "lines": [{"y": )" +
           p(960) + R"(}],
      "bpm_events": [{"y": )" +
           p(960) + R"(, "bpm": 240}],
      "stop_events": [{"y": )" +
           p(1200) + R"(, "duration": )" + p(240) + R"(}],
      "sound_channels": [
        {"name": "s.wav", "notes": [{"x": 0, "y": 0, "l": 0, "c": false},
                                    {"x": 1, "y": )" +
           p(240) + R"(, "l": 0, "c": true},
                                    {"x": 8, "y": )" +
           p(480) + R"(, "l": )" + p(240) + R"(, "c": true},
                                    {"x": 0, "y": )" +
           p(1440) + R"(, "l": 0, "c": true}]},
        {"name": "k.wav", "notes": [{"x": 9, "y": )" +
           p(1200) + R"(, "l": 0, "c": false}]}],
      "bga": {"bga_header": [{"id": 5, "name": "p.bmp"}], "bga_events": [{"y": 0, "id": 5}]}})";
}

const char* Layout021 =
    R"({"info": {"title": "T", "initBPM": 120, "level": 7, "banner_image": "ban.png"},
      "lines": [{"y": 960}], "bpmNotes": [{"y": 960, "v": 240}], "stopNotes": [{"y": 1200, "v": 240}],
      "soundChannel": [
        {"name": "s.wav", "notes": [{"x": 0, "y": 0, "l": 0, "c": false},
                                    {"x": 1, "y": 240, "l": 0, "c": true},
                                    {"x": 8, "y": 480, "l": 240, "c": true},
                                    {"x": 0, "y": 1440, "l": 0, "c": true}]},
        {"name": "k.wav", "notes": [{"x": 9, "y": 1200, "l": 0, "c": false}]}],
      "bga": {"bgaHeader": [{"ID": 5, "name": "p.bmp"}], "bgaNotes": [{"y": 0, "id": 5}]}})";

// What the select screen shows of the chart at `path`, read the standard way.
struct ScannedHeader {
    PlaySettings State;
    ChartHeader Header;
};
ScannedHeader ScanStandardHeader(const std::string& path) {
    ChartReading reading;
    reading.Standard = true;
    ScannedHeader out;
    standard::ScanHeader(path, reading, out.State, out.Header);
    return out;
}

// The listing's lines of `kind` ("Warning", "Object").
std::vector<std::string> ListedLines(const std::string& listing, const std::string& kind) {
    std::vector<std::string> out;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(kind + ' ', 0) == 0) out.push_back(line.substr(kind.size() + 1));
    return out;
}

} // namespace

TEST(Bmson, BothLayoutsCompileToTheSameTimedSlicedObjects) {
    const std::string listing =
        standard::InspectListing(standard::CompileBmson(Layout10(480)), "a.bmson");
    EXPECT_EQ(standard::InspectListing(standard::CompileBmson(Layout021), "a.bmson"), listing);
    // A large file has its memory made ready by a helper thread as it is read.
    const std::string large = "{" + std::string(size_t(5) << 20, ' ') + Layout10(480).substr(1);
    EXPECT_EQ(standard::InspectListing(standard::CompileBmson(large), "a.bmson"), listing);
    // 120 bpm to beat 4 (3000 ms), then 240; the stop at beat 5 lasts one beat
    // (250 ms); the continued notes start where the sound has got to and each
    // plays until the channel's next note.
    for (const char* line :
         {"Object 0001000 1000.000 0 0 01 01 Background slice 0 22050\n",
          "Object 0001000 1000.000 0 0 04 01 BgaBase\n",
          "Object 0001500 1500.000 1 0 11 01 Note slice 22050 22050\n",
          "Object 0002000 2000.000 2 0 56 01 LongStart slice 44100 77175\n",
          "Object 0002500 2500.000 3 0 56 01 LongEnd\n", "Object 0003250 3250.000 5 1 21 02 Note\n",
          "Object 0003750 3750.000 6 1 01 01 Background slice 121275 end\n",
          "Stop 5 3250.000 250.000\n", "PlayerMode 3\n", "Banner ban.png\n"})
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
}

TEST(Bmson, ObjectsOnOnePulseKeepTheReadingOrderAndShareTheirChannelsSlice) {
    const std::string notes = R"("sound_channels": [{"name": "s.wav", "notes": [
        {"x": 1, "y": 240, "c": false}, {"x": 2, "y": 240, "c": false}, {"x": 3, "y": 480, "c": true}]}])";
    const std::string bga =
        R"("bga": {"bga_header": [{"id": 1, "name": "p.bmp"}], "bga_events": [{"y": 240, "id": 1}]})";
    const std::string head = R"({"version": "1.0.0", "info": {"init_bpm": 120}, )";
    const char* picture = "Object 0001500 1500.000 1 0 04 01 BgaBase\n";
    const char* first = "Object 0001500 1500.000 1 0 11 01 Note slice 0 22050\n";
    const char* second = "Object 0001500 1500.000 1 0 12 01 Note slice 0 22050\n";
    const char* last = "Object 0002000 2000.000 2 0 13 01 Note slice 22050 end\n";
    for (bool pictureFirst : {true, false}) {
        std::string json = head;
        json += pictureFirst ? bga : notes;
        json += ", ";
        json += pictureFirst ? notes : bga;
        json += "}";
        const std::string listing =
            standard::InspectListing(standard::CompileBmson(json), "a.bmson");
        const size_t at[] = {listing.find(picture), listing.find(first), listing.find(second),
                             listing.find(last)};
        for (size_t i : at)
            ASSERT_NE(i, std::string::npos) << listing;
        EXPECT_EQ(at[0] < at[1], pictureFirst) << listing;
        EXPECT_TRUE(at[1] < at[2] && at[2] < at[3] && at[0] < at[3]) << listing;
    }
}

TEST(Bmson, FaultsAreRefusedWithTheirJsonPathAndByteOffset) {
    const std::string head = R"({"version": "1.0.0", "info": {"init_bpm": 120)";
    const std::pair<std::string, std::string> cases[] = {
        {"[1, 2", "bmson: not an object (byte 0)"},
        {head + R"(, "title": "x}})", "the JSON does not parse"},
        {head + R"(, "resolution": 0}})", "info.resolution: the resolution must be"},
        {R"({"version": "1.0.0", "info": {}})", "no init_bpm"},
        {head + R"(}, "bpm_events": [{"y": -240, "bpm": 90}]})",
         "bpm_events[0].y: a negative pulse (byte 73)"},
        {head + R"(}, "lines": [{"y": 1e15}]})", "lines[0].y: a pulse past"},
        {head + R"(}, "bpm_events": {"y": 0}})", "bpm_events: not an array"},
        {head + R"(}, "sound_channels": 5})", "sound_channels: not an array"},
        // A file cut short: the fault is where it ends.
        {head + R"(}, "sound_channels": [{"notes": [{"x": 1, "y": 2)",
         "the JSON ends before every object and array is closed (byte 93)"},
    };
    for (const auto& [json, message] : cases) {
        try {
            standard::CompileBmson(json);
            ADD_FAILURE() << json;
        } catch (const standard::BmsonError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos)
                << e.what() << " for " << json;
        }
    }
    // Ten million notes are refused at the limit, not read; picture events
    // count toward it as notes do.
    std::string many = head + R"(}, "sound_channels": [{"name": "a", "notes": [)";
    for (size_t i = 0; i <= standard::MaxObjects / 2; ++i)
        many += i ? R"(,{"y":1})" : R"({"y":1})";
    many += R"(]}], "bga": {"bga_events": [)";
    for (size_t i = 0; i < standard::MaxObjects / 2; ++i)
        many += i ? R"(,{"y":1})" : R"({"y":1})";
    EXPECT_THROW(standard::CompileBmson(many + "]}}"), standard::BmsonError);
}

TEST(Bmson, NotesAndChannelsThatDoNotReadAreLeftOutWithOneWarningAKind) {
    const std::string json = R"({"version": "1.0.0", "info": {"init_bpm": 120}, "sound_channels": [
        {"name": "a.wav", "notes": [{"x": 1, "y": 0}, {"x": 2, "y": -240}, {"x": 3, "y": "soon"},
          {"x": 4, "y": 240, "l": -5}, {"x": 5, "y": 480, "l": "long"}, {"x": -1, "y": 600},
          {"x": 1, "y": 720, "c": "yes"}, 7, {"x": 2, "y": 800, "l": 1099511627000}]},
        {"name": 3, "notes": [{"x": 1, "y": 960}]}, {"name": "b.wav", "notes": {}}, 4]})";
    const std::string listing = standard::InspectListing(standard::CompileBmson(json), "a.bmson");
    // The first place and why; what is done, and to how many.
    const std::pair<const char*, const char*> told[] = {
        {"sound_channels[0].notes[7]: not an object", "left out (1 note that is not an object)"},
        {"sound_channels[0].notes[5].x: a negative lane",
         "left out (1 note with an x that does not read)"},
        {"sound_channels[0].notes[1].y: a negative pulse",
         "left out (2 notes with a y that does not read)"},
        {"sound_channels[0].notes[3].l: a negative pulse",
         "played as a plain note (3 notes with an l that does not read)"},
        {"sound_channels[0].notes[6].c: not true or false",
         "restarts its sound (1 note with a c that is not true or false)"},
        {"sound_channels[3]: not an object", "left out (1 sound channel that is not an object)"},
        {"sound_channels[1].name: not a string",
         "its notes play without a sound (1 sound channel with a name that is not a string)"},
        {"sound_channels[2].notes: not an array",
         "left without notes (1 sound channel with notes that are not an array)"}};
    std::vector<std::string> expected;
    for (const auto& [place, done] : told)
        expected.push_back(std::string("0 ") + place + "; " + done);
    EXPECT_EQ(ListedLines(listing, "Warning"), expected) << listing;
    // The rest plays: plain notes for bad lengths, a restart for a bad "c"
    // (from 0, not 110250 frames in), and the nameless channel's note on its
    // own slot, which has no file.
    const std::vector<std::string> objects = {"0001000 1000.000 0 0 11 01 Note slice 0 22050",
                                              "0001500 1500.000 1 0 14 01 Note slice 0 22050",
                                              "0002000 2000.000 2 0 15 01 Note slice 0 22050",
                                              "0002500 2500.000 3 0 11 01 Note slice 0 7320",
                                              "0002666 2666.667 3.33333333333333 0 12 01 Note",
                                              "0003000 3000.000 4 1 11 02 Note"};
    EXPECT_EQ(ListedLines(listing, "Object"), objects) << listing;
}

TEST(Bmson, NotesPastTheKeyLayoutSoundAsBackgroundNotes) {
    // Lane 28 of a beat chart, lane 12 of a pop'n chart (whose mode comes
    // after its notes): background notes, their lengths unused.
    for (const auto& [mode, lane] : {std::pair{"beat-7k", 28}, std::pair{"popn-9k", 12}}) {
        const std::string json =
            R"({"version": "1.0.0", "sound_channels": [{"name": "a.wav", "notes": [{"x": )" +
            std::to_string(lane) + R"(, "y": 240, "l": 240}, {"x": 1, "y": 480}]}],
            "info": {"init_bpm": 120, "mode_hint": ")" +
            mode + R"("}})";
        const standard::Chart chart = standard::CompileBmson(json);
        const std::string listing = standard::InspectListing(chart, "a.bmson");
        EXPECT_EQ(ListedLines(listing, "Object"),
                  (std::vector<std::string>{"0001500 1500.000 1 0 01 01 Background slice 0 22050",
                                            "0002000 2000.000 2 0 11 01 Note"}))
            << listing;
        EXPECT_TRUE(ListedLines(listing, "Warning").empty()) << listing;
    }
}

TEST(Bmson, AnyNumberOfSoundChannelsIsReadAndFilesPastTheSlotsAreSilent) {
    // 2,000 channels: below the slots each has its own; past them each file
    // one slot, its channels sharing it (each still slicing its own sound),
    // and files past the last slot none. Past the channel limit channels are
    // left out.
    auto chart = [](size_t channels, size_t files) {
        std::string json = R"({"version": "1.0.0", "info": {"init_bpm": 120}, "sound_channels": [)";
        for (size_t i = 0; i < channels; ++i)
            json += (i ? "," : "") + std::string(R"({"name": "s)") + std::to_string(i % files) +
                    R"(.wav", "notes": [{"x": 0, "c": true, "y": )" + std::to_string(i) + "}]}";
        return standard::CompileBmson(json + "]}");
    };
    const standard::Chart few = chart(standard::SlotCount - 1, 10);
    EXPECT_EQ(few.Objects.back().Slot, standard::SlotCount - 1);
    EXPECT_EQ(few.WavFileNames[standard::SlotCount - 1], "s4.wav");

    const standard::Chart many = chart(2000, 1500);
    ASSERT_EQ(many.Objects.size(), 2000u);
    EXPECT_EQ(many.Objects[1294].Slot, 1295);
    EXPECT_EQ(many.WavFileNames[1295], "s1294.wav");
    EXPECT_EQ(many.Objects[1295].Slot, 0);        // s1295.wav: past the last slot
    EXPECT_EQ(many.Objects[1500].Slot, 1);        // s0.wav again
    EXPECT_EQ(many.Objects[1500].SliceStart, 0u); // its own channel's slice
    ASSERT_EQ(many.Warnings.size(), 1u);
    EXPECT_EQ(many.Warnings[0].Text,
              "sound_channels[1295]: past the 1295 different sound files a chart may play; "
              "played without a sound (205 sound channels)");

    const standard::Chart past = chart(standard::MaxBmsonSoundChannels + 2, 10);
    EXPECT_EQ(past.Objects.size(), standard::MaxBmsonSoundChannels);
    ASSERT_EQ(past.Warnings.size(), 1u);
    EXPECT_NE(past.Warnings[0].Text.find("sound_channels[16383]: past the 16383 sound channels"),
              std::string::npos)
        << past.Warnings[0].Text;
}

TEST(Bmson, Utf16ChartsAreReadAsTheirText) {
    const std::u16string text =
        uR"({"version": "1.0.0", "info": {"init_bpm": 120, "title": "Ünï 曲"},
        "sound_channels": [{"name": "a.wav", "notes": [{"x": 1, "y": 240}]}]})";
    const standard::Chart utf8 = standard::CompileBmson(
        R"({"version": "1.0.0", "info": {"init_bpm": 120, "title": "Ünï 曲"},
        "sound_channels": [{"name": "a.wav", "notes": [{"x": 1, "y": 240}]}]})");
    for (const bool big : {false, true})
        for (const bool marked : {false, true}) {
            std::string bytes;
            for (char16_t c : (marked ? u"\uFEFF" : u"") + text) {
                const auto hi = char(c >> 8), lo = char(c & 0xFF);
                bytes += big ? std::string{hi, lo} : std::string{lo, hi};
            }
            const standard::Chart chart = standard::CompileBmson(bytes);
            EXPECT_EQ(chart.Header.Title, "Ünï 曲");
            EXPECT_EQ(standard::InspectListing(chart, "a.bmson"),
                      standard::InspectListing(utf8, "a.bmson"));
        }
}

TEST(Bmson, TheTitleScanFindsTheTitleTheHeaderScanShows) {
    TempDir dir;
    WriteFileAtomic(dir.File("a.bmson"), Bytes(Layout10(240)));
    WriteFileAtomic(dir.File("b.bms"), Bytes("#RANDOM 2\n#IF 1\n#TITLE one\n#ELSE\n#TITLE two\n"
                                             "#ENDIF\n#ENDRANDOM\n#00111:01\n#TITLE  last \n"));
    WriteFileAtomic(dir.File("c.bms"), Bytes("#RANDOM 2\n#IF 2\n#TITLE two\n#ENDIF\n"));
    ChartReading reading;
    reading.Standard = true;
    for (const char* name : {"a.bmson", "b.bms", "c.bms"})
        for (const int32_t drawn : {1, 2}) {
            reading.Options.FixedRandom = drawn;
            PlaySettings state;
            ChartHeader header;
            standard::ScanHeader(dir.File(name), reading, state, header);
            EXPECT_EQ(standard::ScanTitle(dir.File(name), reading), header.Title) << name;
        }
    EXPECT_EQ(standard::ScanTitle(dir.File("c.bms"), reading), "two");
    EXPECT_THROW(standard::ScanTitle(dir.File("missing.bms"), reading), std::exception);
}

TEST(Bmson, SelectScreenReadsTheHeaderTheBannerAndThePreview) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("s"));
    WriteFileAtomic(dir.File("s/a.BMSON"), Bytes(Layout10(240)));
    WriteFileAtomic(dir.File("s/ban.png"), Bytes("x"));
    const ScannedHeader scanned = ScanStandardHeader(dir.File("s/a.BMSON"));
    EXPECT_EQ(scanned.Header.Title, "T");
    EXPECT_EQ(scanned.State.PlayLevel, 7);
    EXPECT_EQ(scanned.State.Bpm, 120);
    EXPECT_EQ(standard::BannerFile(dir.File("s/a.BMSON")), dir.File("s/ban.png"));
    // preview_music is found as a keysound is: here under another extension.
    EXPECT_EQ(standard::PreviewFile(dir.File("s/a.BMSON")), "");
    WriteFileAtomic(dir.File("s/pre.ogg"), Bytes("x"));
    EXPECT_EQ(standard::PreviewFile(dir.File("s/a.BMSON")), dir.File("s/pre.ogg"));
}

TEST(Bmson, InfoNamesAreListedAndShownOnTheSelectScreen) {
    // chart_name in the difficulty's place, every subartist listed (a line
    // break in one becomes a space), back_image as the loading picture where
    // no eyecatch_image is given.
    const std::string json =
        R"({"version": "1.0.0", "info": {"title": "T", "init_bpm": 120, "chart_name": "HYPER",
        "subartists": ["obj: A", "movie:\nB"], "back_image": "back.png"}})";
    const std::string listing = standard::InspectListing(standard::CompileBmson(json), "a.bmson");
    for (const char* line : {"Subartist obj: A\n", "Subartist movie: B\n", "Difficulty HYPER\n",
                             "StageFile back.png\n"})
        EXPECT_NE(listing.find(line), std::string::npos) << line << listing;
    const std::string both = R"({"version": "1.0.0", "info": {"init_bpm": 120,
        "eyecatch_image": "eye.png", "back_image": "back.png"}})";
    EXPECT_EQ(standard::CompileBmson(both).Header.StageFile, "eye.png");

    TempDir dir;
    WriteFileAtomic(dir.File("a.bmson"), Bytes(json));
    EXPECT_EQ(ScanStandardHeader(dir.File("a.bmson")).Header.Difficulty, "HYPER");
}

TEST(Bmson, ASoundCutIntoContinuedNotesRendersLikeTheSoundPlayedOnce) {
    TempDir dir;
    tools::WriteProgramAssets(dir.Folder());
    std::filesystem::create_directories(dir.File("song"));
    std::vector<int16_t> noise(44100 * 3);
    uint32_t seed = 7;
    for (int16_t& s : noise)
        s = int16_t(int((seed = seed * 1664525 + 1013904223) >> 20) - 2048);
    WriteFileAtomic(dir.File("song/stem.wav"), tools::EncodeWav16(noise, 1, 44100));
    // Tempo changes and a stop between the cuts; the same end for both.
    auto chart = [](const std::string& notes) {
        return R"({"version": "1.0.0", "info": {"init_bpm": 137, "resolution": 480},
          "bpm_events": [{"y": 700, "bpm": 211.5}, {"y": 1900, "bpm": 90}],
          "stop_events": [{"y": 1300, "duration": 333}],
          "sound_channels": [{"name": "stem.wav", "notes": [{"x": 0, "y": 0})" +
               notes + R"(]}, {"name": "none.wav", "notes": [{"x": 0, "y": 4000}]}]})";
    };
    std::string cuts;
    for (int y = 37; y < 3000; y += 173)
        cuts += R"(, {"x": )" + std::to_string(y % 3) + R"(, "y": )" + std::to_string(y) +
                R"(, "l": )" + std::to_string(y % 2 * 40) + R"(, "c": true})";
    WriteFileAtomic(dir.File("song/whole.bmson"), Bytes(chart("")));
    WriteFileAtomic(dir.File("song/cut.bmson"), Bytes(chart(cuts)));
    std::vector<std::vector<uint8_t>> renders;
    for (const char* name : {"whole", "cut"}) {
        CommandLine cl;
        cl.ProgramFolder = dir.Folder();
        cl.Standard = true;
        cl.RenderWav = dir.File(std::string(name) + ".wav");
        cl.Arguments = {dir.File("song/" + std::string(name) + ".bmson")};
        ASSERT_EQ(RunPlayer(cl), 0);
        renders.push_back(ReadWholeFile(cl.RenderWav));
    }
    EXPECT_GT(renders[0].size(), 44u + 44100 * 4 * 3);
    EXPECT_TRUE(renders[0] == renders[1]) << "the cut render differs";
}

TEST(Bmson, ChannelsAndPicturesAreNumberedOverEveryListTheFileHolds) {
    // A channel that is not an object keeps its number; a second list goes on
    // from the first, so no note reaches past the channels read.
    const std::string json = R"({"version": "1.0.0", "info": {"init_bpm": 120},
        "sound_channels": [0, {"name": "a.wav", "notes": [{"x": 1, "y": 0}]}],
        "sound_channels": [{"name": "b.wav", "notes": [{"x": 2, "y": 240}]}]})";
    const std::string listing = standard::InspectListing(standard::CompileBmson(json), "a.bmson");
    const std::vector<std::string> objects = {"0001000 1000.000 0 0 11 02 Note",
                                              "0001500 1500.000 1 0 12 03 Note"};
    EXPECT_EQ(ListedLines(listing, "Object"), objects) << listing;
    // Both spellings of the picture list fill one list, and its bound is the list's.
    std::string pictures;
    for (int i = 0; i < 1000; ++i)
        pictures += (i ? "," : "") + std::string(R"({"id": )") + std::to_string(i) +
                    R"(, "name": "p.png"})";
    const std::string twoLists = R"({"version": "1.0.0", "info": {"init_bpm": 120},
        "sound_channels": [], "bga": {"bga_header": [)" +
                                 pictures + R"(], "bgaHeader": [)" + pictures + "]}}";
    EXPECT_THROW(standard::CompileBmson(twoLists), std::exception);
}
