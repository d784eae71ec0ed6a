#include "app/Runner.h"

#include "app/Form.h"
#include "media/Font.h"
#include "media/Platform.h"

#include <algorithm>
#include <cstdio>

namespace tappo {
namespace {

// Saves the pictures asked for on the command line once their frame is drawn.
class TScreenshots {
  public:
    explicit TScreenshots(const TCommandLine& cl) : shots_(cl.Screenshots) {}
    // Returns false when a file could not be written.
    bool AfterFrame(long frame, TForm1& form) {
        bool ok = true;
        for (const auto& [at, path] : shots_) {
            if (at != frame) continue;
            try {
                WritePng(path, form.DXDraw1.Surface());
            } catch (const std::exception& e) {
                form.ReportError(std::string("cannot save the screenshot: ") + e.what());
                ok = false;
            }
        }
        return ok;
    }

  private:
    std::vector<std::pair<long, std::string>> shots_;
};

// Start-up shared by both runs; returns false when the program must stop.
bool StartForm(TForm1& form, const TCommandLine& cl, IMessageBox& box,
               const std::function<bool()>& button1Held) {
    try {
        form.Guarded([&] { form.FormCreate(cl.Arguments); });
        // Holding Button1 at start (or --windowed) keeps the player in a window.
        if (HasOption(form.DXDraw1.Options(), doFullScreen) && (cl.Windowed || button1Held()))
            form.DXDraw1.SetOptions(form.DXDraw1.Options() & ~OptionBit(doFullScreen));
        form.Guarded([&] { form.FormShow(); });
    } catch (const EStartupError& e) {
        box.Show(e.what());
        return false;
    }
    return true;
}

// Pulls mixed audio that a stretch of virtual time covers, to the exact frame.
class TAudioPull {
  public:
    void Advance(TDDSD& sound, uint32_t ms) {
        elapsedMs_ += ms;
        const uint64_t due = elapsedMs_ * MixRate / 1000;
        while (pulled_ < due) {
            const int n = int(std::min<uint64_t>(due - pulled_, buffer_.size() / 2));
            sound.Mix(buffer_.data(), n);
            pulled_ += uint64_t(n);
        }
    }

  private:
    uint64_t elapsedMs_ = 0, pulled_ = 0;
    std::vector<int16_t> buffer_ = std::vector<int16_t>(4096 * 2);
};

bool FrameDone(TForm1& form, const TCommandLine& cl, TScreenshots& shots, long framesBefore,
               bool& shotsOk) {
    if (form.FramesRun() != framesBefore) shotsOk &= shots.AfterFrame(form.FramesRun(), form);
    return cl.Frames >= 0 && form.FramesRun() >= cl.Frames;
}

int RunHeadless(const TCommandLine& cl) {
    TVirtualClock clock;
    THeadlessPresenter presenter;
    TStderrMessageBox box;
    TTextRenderer fonts;
    auto owned = std::make_unique<TForm1>(TFormServices{clock, presenter, box, &fonts, ExecutableFolder(),
                                                        cl.Songs, TSoundOutput::Pull, cl.AudioBufferFrames});
    TForm1& form = *owned;
    if (!StartForm(form, cl, box, [] { return false; })) return 1;
    TScreenshots shots(cl);
    bool shotsOk = true;
    // No device pulls the mix here: the loop pulls what each frame's time
    // covers, so channels finish and music ends on the virtual clock.
    TAudioPull pull;
    while (!form.CloseRequested() && form.DXTimer1.Running()) {
        if (cl.Frames >= 0 && form.FramesRun() >= cl.Frames) break;
        const long before = form.FramesRun();
        clock.Advance(uint32_t(cl.FrameMs));
        form.Guarded([&] { form.DXTimer1.DoTick(); });
        pull.Advance(form.DDSD1, uint32_t(cl.FrameMs));
        if (FrameDone(form, cl, shots, before, shotsOk)) break;
    }
    form.FormDestroy();
    return shotsOk ? 0 : 1;
}

int RunOnScreen(const TCommandLine& cl) {
    std::unique_ptr<TSdlPlatform> sdl;
    try {
        sdl = std::make_unique<TSdlPlatform>(cl.Scale);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
        return 1;
    }
    TTextRenderer fonts;
    auto owned = std::make_unique<TForm1>(TFormServices{*sdl, *sdl, *sdl, &fonts, ExecutableFolder(),
                                                        cl.Songs, TSoundOutput::Device, cl.AudioBufferFrames});
    TForm1& form = *owned;
    auto button1 = [&] {
        return sdl->KeyHeld('Z') || sdl->KeyHeld(vk::Space) || sdl->JoystickButton1Held();
    };
    if (!StartForm(form, cl, *sdl, button1)) return 1;
    TEventSink sink;
    sink.KeyDown = [&](int key) { form.Guarded([&] { form.FormKeyDown(key); }); };
    sink.CloseRequest = [&] { form.Close(); };
    sink.Activate = [&](bool active) { form.DXTimer1.SetAppActive(active); };
    TScreenshots shots(cl);
    bool shotsOk = true;
    while (!form.CloseRequested()) {
        sdl->PumpEvents(sink, form.DXTimer1.Running() ? 0 : 50);
        if (form.CloseRequested()) break;
        const long before = form.FramesRun();
        form.Guarded([&] { form.DXTimer1.DoTick(); });
        if (FrameDone(form, cl, shots, before, shotsOk)) break;
    }
    form.FormDestroy();
    return shotsOk ? 0 : 1;
}

} // namespace

int RunPlayer(const TCommandLine& cl) { return cl.Headless ? RunHeadless(cl) : RunOnScreen(cl); }

} // namespace tappo
