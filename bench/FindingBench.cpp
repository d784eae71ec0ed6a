// The select screen's song finding at 100,000 charts: a key press (Tab for
// the sort, F9 for the key layout, a typed character or Backspace in the
// search line, "]" for the lowest level) to the redrawn frame, with every
// chart known to the song database. The goal is a median of at most 5 ms.
#include "app/Player.h"
#include "bench/BenchFiles.h"
#include "platform/Font.h"
#include "tools/Assets.h"

#include <benchmark/benchmark.h>
#include <filesystem>

using namespace tappo;

namespace {

constexpr int SongFolders = 20000; // of five charts each

class SilentBox : public MessageBox {
  public:
    void Show(const std::string&) override {}
};

// Words for made-up titles, artists and genres: many charts share each.
const char* const Words[] = {"rock",   "night",  "star",   "dream",  "fire",  "blue",   "light",
                             "heart",  "storm",  "moon",   "sky",    "rain",  "dance",  "time",
                             "world",  "soul",   "wind",   "snow",   "gold",  "silver", "ocean",
                             "river",  "shadow", "flower", "angel",  "magic", "spirit", "echo",
                             "future", "memory", "wave",   "summer", "winter"};
constexpr int WordCount = int(sizeof Words / sizeof Words[0]);
const char* const Layouts[] = {"7K", "5K", "14K", "10K", "9B", "7K", "7K"};

ChartFacts MadeUpFacts(int n) {
    ChartFacts f;
    f.Title = std::string(Words[n % WordCount]) + " " + Words[(n / WordCount) % WordCount] + " " +
              std::to_string(n);
    f.Subtitle = n % 3 ? "" : "[ANOTHER]";
    f.Artist = std::string("Artist ") + Words[(n * 7) % WordCount];
    f.Genre = std::string(Words[(n * 11) % WordCount]) + " core";
    f.KeyLayout = Layouts[n % 7];
    f.Level = 1 + n % 12;
    f.Bpm = 90 + n % 120;
    f.LengthMs = 60000 + (n * 37) % 120000;
    f.Notes = 200 + (n * 13) % 2000;
    f.AddedAt = 1'700'000'000 + n;
    return f;
}

struct FindingPlayer {
    VirtualClock clock;
    HeadlessPresenter presenter;
    SilentBox box;
    TextRenderer fonts;
    std::unique_ptr<Player> player;

    FindingPlayer() {
        const std::string songs = bench::SongTree("finding", {0, SongFolders, "Song ", false, {}});
        const std::string assets =
            (std::filesystem::temp_directory_path() / "tappo-bench-assets/").string();
        tools::WriteProgramAssets(assets);
        player = std::make_unique<Player>(
            PlayerServices{clock, presenter, box, &fonts, assets, {songs}, MixerOutput::Pull, 512});
        player->UseReading(ChartReading());
        player->StartUp({});
        player->OpenDisplay();
        ChartFactsByPath facts;
        for (int s = 0; s < SongFolders; ++s)
            for (int c = 0; c < 5; ++c)
                facts.emplace(PathKey(songs + "Song " + std::to_string(s) + "/chart" +
                                      std::to_string(c) + ".bms"),
                              MadeUpFacts(s * 5 + c));
        LibraryView view;
        view.ReadCharts = [facts] { return facts; };
        player->UseLibrary(view);
        // The database is read at the first key, as on a real screen.
        player->KeyDown(Key::F9);
        player->KeyDown(Key::F9);
        for (int i = 0; i < 5; ++i)
            player->KeyDown(Key::F9);
        Frame();
    }
    void Frame() {
        clock.Advance(10);
        player->Tick();
    }
};

FindingPlayer& Screen() {
    static FindingPlayer screen;
    return screen;
}

// One key press and the frame after it.
void BM_SortKeyToFrame(benchmark::State& state) {
    FindingPlayer& s = Screen();
    for (auto _ : state) {
        s.player->KeyDown(Key::Tab);
        s.Frame();
    }
    while (s.player->Status().SelectView().Choice().Sort != SongSort::Found)
        s.player->KeyDown(Key::Tab);
    state.counters["charts"] = double(s.player->Status().Songs().ChartList.size());
}
BENCHMARK(BM_SortKeyToFrame)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_LayoutKeyToFrame(benchmark::State& state) {
    FindingPlayer& s = Screen();
    for (auto _ : state) {
        s.player->KeyDown(Key::F9);
        s.Frame();
    }
    while (s.player->Status().SelectView().Choice().Layout != LayoutFilter::All)
        s.player->KeyDown(Key::F9);
}
BENCHMARK(BM_LayoutKeyToFrame)->Unit(benchmark::kMillisecond)->Repetitions(3);

void BM_LevelKeyToFrame(benchmark::State& state) {
    FindingPlayer& s = Screen();
    int step = 0;
    for (auto _ : state) {
        // The lowest level up to 6 and down again.
        s.player->KeyDown(step++ % 12 < 6 ? Key::RightBracket : Key::LeftBracket);
        s.Frame();
    }
    while (s.player->Status().SelectView().Choice().LevelMin > 0)
        s.player->KeyDown(Key::LeftBracket);
}
BENCHMARK(BM_LevelKeyToFrame)->Unit(benchmark::kMillisecond)->Repetitions(3);

// Typing "night" into the search line and taking it back, a key at a time.
void BM_SearchKeyToFrame(benchmark::State& state) {
    FindingPlayer& s = Screen();
    s.player->KeyDown(Key::F8);
    const std::string typed = "night";
    size_t at = 0;
    bool back = false;
    for (auto _ : state) {
        if (!back) {
            s.player->TextTyped(std::string(1, typed[at++]));
            back = at == typed.size();
        } else {
            s.player->KeyDown(Key::Backspace);
            back = --at > 0;
        }
        s.Frame();
    }
    s.player->KeyDown(Key::Escape);
}
BENCHMARK(BM_SearchKeyToFrame)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace
