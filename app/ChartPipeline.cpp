// The road of a chart from its path to the first play frame, the same for a
// chart named on the command line and for Button1 on the select screen.
#include "app/Form.h"

namespace tappo {

bool TForm1::StartChart(const std::string& path) {
    // Compiling and loading hold back the frames for a while: the loading
    // screen goes up first. A command-line chart starts before the display
    // exists; its first initialisation shows the screen instead.
    if (DXDraw1.Initialized()) ShowLoadingScreenOnBothPages();
    Flow.GameMode = ModePlay;
    Flow.ChartActive = true;
    if (!CompileChart(path)) return false;
    // Sounds before images: a broken sample or MIDI file is reported and the
    // chart plays without it.
    LoadChartMedia();
    // Images are surfaces of the display. Without one yet, its initialisation
    // loads them, as it does again after every re-initialisation (F3).
    if (DXDraw1.Initialized()) LoadBgaImages();
    // Play starts with the next frame, which runs PlayFrame.
    return true;
}

bool TForm1::CompileChart(const std::string& path) {
    // The previous chart's samples and clock go first; the compile resets the
    // chart's own values.
    FreeKeysounds(Session.KeysoundSlots);
    Play.SongEnded = false;
    Play.PrevSongTime = Play.SongStartTick = Play.SongTime = 0;
    Play.MidiLoaded = false;
    Play.EventCursors.fill(0);
    Play.LateTime = 0;
    try {
        Session.Install(CompileChartFile(path, DecimalSeparator, Session.CarryOver()));
        return true;
    } catch (const ECompileError& e) {
        // The header values read before the error stay, as the select screen
        // shows them. The half-built lists are never played: play is left.
        Session.Install(TCompiledChart(e.Partial()));
        LeavePlayAfterError(e.what());
        return false;
    }
}

void TForm1::LeavePlayAfterError(const std::string& text) {
    ReportError(text);
    if (Songs.ChartList.empty()) {
        Close(1); // a command-line chart: there is nothing to go back to
    } else {
        Flow.GameMode = ModeSelect;
    }
    Flow.ChartActive = false;
}

// Keysounds, then music. A sample that fails to load plays nothing, and music
// that cannot be opened is left out: the chart is played without it.
void TForm1::LoadChartMedia() {
    try {
        LoadKeysounds(Session.KeysoundSlots, Session.Chart, DDSD1, ProgramFolder);
    } catch (const std::exception& e) {
        ReportError(std::string(TextWaveLoadFailed) + "\n" + e.what());
    }
    if (Session.Header.MidiFileName.empty()) return;
    try {
        LoadMidi(MediaPlayer1, Session.SongFolder, Session.Header.MidiFileName);
        Play.MidiLoaded = true;
    } catch (const std::exception& e) {
        ReportError(std::string(TextMidiLoadFailed) + "\n" + e.what());
    }
}

// A broken image is reported and the others are shown. A display nobody sees
// (an offline render) needs no images.
void TForm1::LoadBgaImages() {
    if (!DXDraw1.Visible) return;
    Guarded([&] {
        tappo::LoadBgaImages(Session.BgaSurfaces, Session.Chart, DXDraw1,
                             Session.GameState.BgaLayerImage);
    });
}

} // namespace tappo
