// A seek's cost to the frame thread: the key that moves play eight measures on
// or back and the frame that follows it, in a 10-minute chart of 1,000
// keysounds, each its own file sounding for two seconds, so that every seek
// resumes the ones still sounding at its point.
#include "app/Player.h"
#include "files/Files.h"
#include "platform/Font.h"
#include "tools/Assets.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>

using namespace tappo;

namespace {

std::string Base36(int n) {
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return {digits[n / 36], digits[n % 36]};
}

// 250 measures at 100 BPM (2.4 s each), four keysounds a measure.
std::string LongChart() {
    static const std::string path = [] {
        const std::string dir =
            (std::filesystem::temp_directory_path() / "tappo-bench-seek/").string();
        tools::WriteProgramAssets(dir);
        std::filesystem::create_directories(dir + "song");
        std::vector<int16_t> tone(11025 * 2);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = int16_t(i % 50 < 25 ? 3000 : -3000);
        const std::vector<uint8_t> wav = tools::EncodeWav16(tone, 1, 11025);
        std::string text = "#PLAYER 1\n#BPM 100\n";
        for (int k = 1; k <= 1000; ++k) {
            WriteFileAtomic(dir + "song/k" + std::to_string(k) + ".wav", wav);
            text += "#WAV" + Base36(k) + " k" + std::to_string(k) + ".wav\n";
        }
        for (int m = 0; m < 250; ++m) {
            char head[16];
            std::snprintf(head, sizeof head, "#%03d11:", m);
            text += head;
            for (int k = 1; k <= 4; ++k)
                text += Base36(m * 4 + k);
            text += "\n";
        }
        WriteFileAtomic(dir + "song/long.bms", std::vector<uint8_t>(text.begin(), text.end()));
        return dir + "song/long.bms";
    }();
    return path;
}

class SilentBox : public MessageBox {
  public:
    void Show(const std::string&) override {}
};

void BM_SeekEightMeasures(benchmark::State& state) {
    VirtualClock clock;
    HeadlessPresenter presenter;
    SilentBox box;
    TextRenderer fonts;
    const std::string chart = LongChart();
    const std::string folder = chart.substr(0, chart.size() - std::string("song/long.bms").size());
    Player player(
        PlayerServices{clock, presenter, box, &fonts, folder, {}, MixerOutput::Pull, 512});
    player.StartUp({chart});
    player.OpenDisplay();
    auto frame = [&] {
        clock.Advance(10);
        player.Tick();
    };
    while (!player.Status().SongStarted() || player.Status().SongTime() < 3000)
        frame();
    // Across the chart and back, from measure 1 to 241.
    int step = 0;
    for (auto _ : state) {
        player.KeyDown(step++ % 60 < 30 ? Key::RightBracket : Key::LeftBracket);
        frame();
    }
    // The keysounds a seek resumed, as a check that they load and sound.
    int sounding = 0;
    for (int c = 0; c < player.SoundOutput().ChannelCount(); ++c)
        sounding += player.SoundOutput().ChannelStatus(c) == ChannelPlaying;
    state.counters["sounding"] = sounding;
}
BENCHMARK(BM_SeekEightMeasures)->Unit(benchmark::kMillisecond);

} // namespace
