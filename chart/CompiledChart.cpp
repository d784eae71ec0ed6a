#include "chart/CompiledChart.h"

#include "files/Files.h"

namespace tappo {

CompiledChart StartOfCompile(const ChartCarryOver& before) {
    CompiledChart t;
    t.Header = before.Header;
    t.Header.MidiFileName.clear();
    t.GameState = before.GameState;
    t.GameState.Bpm = 130.0; // the tempo of a chart without "#BPM"
    t.GameState.BgaBaseImage = 153;
    t.SongFolder = before.SongFolder;
    return t;
}

std::vector<uint8_t> ReadChartBytes(const std::string& path, const ChartCarryOver& before) {
    try {
        return ReadWholeFile(path);
    } catch (const std::exception& e) {
        throw CompileError(e.what(), std::make_shared<CompiledChart>(StartOfCompile(before)));
    }
}

bool LanePositions(int32_t playerMode, int32_t& lane1X, int32_t& lane2X) {
    switch (playerMode) {
    case 1:
        lane1X = 8, lane2X = 8;
        return true;
    case 2:
        lane1X = 8, lane2X = 184;
        return true;
    case 3:
        lane1X = 32, lane2X = 160;
        return true;
    default:
        return false;
    }
}

} // namespace tappo
