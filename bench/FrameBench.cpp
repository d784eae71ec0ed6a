// Frame costs: the warp animation alone, and a whole error-screen frame
// (warp update, draw, text, flip to the headless presenter).
#include "app/Form.h"
#include "effects/Warp.h"
#include "platform/Font.h"
#include "tools/Assets.h"

#include <benchmark/benchmark.h>
#include <filesystem>

using namespace tappo;

namespace {

std::string AssetFolder() {
    static const std::string folder = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "tappo-bench-assets/").string();
        tools::WriteProgramAssets(dir);
        return dir;
    }();
    return folder;
}

void BM_UpdateWarp(benchmark::State& state) {
    auto warp = std::make_unique<TWarp>();
    warp->InitWarp(AssetFolder());
    for (auto _ : state) {
        warp->UpdateWarp();
        benchmark::DoNotOptimize(warp->WarpRows[0][0]);
    }
}
BENCHMARK(BM_UpdateWarp);

class TSilentBox : public IMessageBox {
  public:
    void Show(const std::string&) override {}
};

void BM_ErrorScreenFrame(benchmark::State& state) {
    TVirtualClock clock;
    THeadlessPresenter presenter;
    TSilentBox box;
    TTextRenderer fonts;
    auto form = std::make_unique<TForm1>(TFormServices{clock, presenter, box, &fonts, AssetFolder(), "", TSoundOutput::Pull, 512});
    form->FormCreate({});
    form->FormShow();
    for (auto _ : state) {
        clock.Advance(10);
        form->DXTimer1.DoTick();
    }
    state.counters["frames"] = double(form->FramesRun());
}
BENCHMARK(BM_ErrorScreenFrame);

} // namespace
