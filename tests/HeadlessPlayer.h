// The whole player headless, for tests: a program folder with the real assets
// in a temporary directory, the virtual clock, a presenter that records what a
// window would be asked to do, captured messages and scripted keys.
#pragma once

#include "TestUtil.h"
#include "app/Player.h"
#include "files/Files.h"
#include "platform/Font.h"
#include "tools/Assets.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tappo::test {

class RecordingPresenter : public HeadlessPresenter {
  public:
    void SetCursorVisible(bool visible) override { cursorVisible = visible; }
    void MovePointer(int x, int y) override { pointer = {x, y}, ++pointerMoves; }
    void Open(bool fullScreen, int width, int height) override {
        ++opens;
        HeadlessPresenter::Open(fullScreen, width, height);
    }
    void Close() override {
        ++closes;
        HeadlessPresenter::Close();
    }
    int opens = 0, closes = 0; // the display made and given up
    bool cursorVisible = true;
    std::pair<int, int> pointer{-1, -1};
    int pointerMoves = 0;
};

class CapturedMessages : public MessageBox {
  public:
    void Show(const std::string& text) override { shown.push_back(text); }
    bool ShownInBox() const override { return inBox; }
    std::vector<std::string> shown;
    bool inBox = false; // as if a desktop box had shown them
};

inline std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// The standard reading, with #RANDOM taking 1.
inline ChartReading StandardReading() {
    ChartReading r;
    r.Standard = true;
    return r;
}

struct HeadlessPlayer {
    TempDir dir;
    VirtualClock clock;
    RecordingPresenter presenter;
    CapturedMessages messages;
    TextRenderer fonts;
    ScriptedKeys keys;
    std::unique_ptr<Player> player;
    std::string songsFolder;           // --songs; empty: the program folder
    ChartReading reading;              // --standard, --random-seed
    std::function<bool()> keepLoading; // between two files of a load
    MixerOutput output = MixerOutput::Pull;
    bool mixFollowsClock = false;       // as in headless runs: exact video frames, too
    std::optional<int> startMeasure;    // --start-measure
    std::optional<LibraryView> library; // handed to the player before the chart search

    explicit HeadlessPlayer(bool assets = true) {
        if (assets) tools::WriteProgramAssets(dir.Folder());
    }
    // Writes a file below the program folder, making its folders.
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
        WriteFileAtomic(dir.File(name), bytes);
    }
    // Program start with `args` as the command line; in a window when not `fullScreen`.
    void Start(const std::vector<std::string>& args, bool fullScreen = true) {
        PlayerServices services{clock,
                                presenter,
                                messages,
                                &fonts,
                                dir.Folder(),
                                songsFolder.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{songsFolder},
                                output,
                                512,
                                &keys,
                                nullptr,
                                mixFollowsClock,
                                keepLoading};
        services.StartMeasure = startMeasure;
        player = std::make_unique<Player>(services);
        player->UseReading(reading);
        if (library) player->UseLibrary(*library);
        player->StartUp(args);
        player->OpenDisplay(fullScreen);
    }
    void Frame(int ms = 10) {
        clock.Advance(uint32_t(ms));
        player->Guarded([&] { player->Tick(); });
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i)
            Frame();
    }
    // Frames until the song clock runs (past the start gate).
    bool PassGate() {
        for (int i = 0; i < 200 && !player->Status().SongStarted(); ++i)
            Frame();
        return player->Status().SongStarted();
    }
    void RunTo(int32_t songTime) {
        for (int i = 0; i < 100000 &&
                        (!player->Status().SongStarted() || player->Status().SongTime() < songTime);
             ++i)
            Frame();
    }
    std::vector<int16_t> Pull(int frames) {
        std::vector<int16_t> out(size_t(frames) * 2);
        player->SoundOutput().Mix(out.data(), frames);
        return out;
    }
    int Playing() {
        int n = 0;
        for (int c = 0; c < player->SoundOutput().ChannelCount(); ++c)
            n += player->SoundOutput().ChannelStatus(c) == ChannelPlaying;
        return n;
    }
    // Whether the music plays, as a listener would hear it.
    MusicState Music() const { return player->Status().MusicMode(); }
    // The picture being drawn: the display's back page.
    const Surface& Back() { return player->Status().Picture(); }
};

// A note field over `chart` as a player compiles it in `chartReading`,
// drawing on a display and with sprites of its own. The field's clock,
// toggles and game mode are the test's own: it draws what they say.
struct HeadlessNoteField : HeadlessPlayer {
    GameFlow flow{ScreenPlay, true};
    PlayState play;
    PlayToggles toggles;
    HeadlessPresenter fieldPresenter;
    Display display{fieldPresenter, &fonts};
    SpriteSheet sprites{&display};
    FrameTimer timer{clock};
    std::unique_ptr<WarpEffect> warp;
    ArrowSheet arrows;
    ScreenServices screen{display, sprites, timer, warp};
    std::unique_ptr<NoteFieldPainter> field;

    HeadlessNoteField(const std::string& chart, const ChartReading& chartReading,
                      const std::string& name = "a.bms") {
        reading = chartReading;
        Write(name, Bytes(chart));
        Start({dir.File(name)});
        display.Open();
        sprites.LoadFromFile(dir.File("tappoplay.dxg"));
        warp = std::make_unique<WarpEffect>(dir.Folder());
        arrows = ArrowSheet(display, dir.Folder());
        field = std::make_unique<NoteFieldPainter>(screen, arrows, flow, play, toggles,
                                                   player->Status().CurrentChart());
    }
    ~HeadlessNoteField() {
        arrows = ArrowSheet();
        display.Close();
    }
    // The field's picture.
    Surface& Back() { return display.Back(); }
    const ChartSession& Session() const { return player->Status().CurrentChart(); }
    // Draws the receptors and arrows at `songTime` on a black screen.
    void DrawAt(int32_t songTime) {
        play.SongTime = songTime;
        Back().Fill(0);
        field->DrawReceptorsAndArrows();
    }
    // The first row below the receptors where column x is not black, or -1.
    int FirstArrowRow(int x) {
        for (int y = 64; y < 240; ++y)
            if (Back().Pixel(x, y) != 0) return y;
        return -1;
    }
};

} // namespace tappo::test
