#include "chart/exact/HeaderScan.h"

#include "chart/Convert.h"
#include "chart/exact/Lines.h"
#include "files/Files.h"
#include "formats/Picture.h"

namespace tappo::exact {

void ScanHeaderLines(const std::vector<std::string_view>& lines, PlaySettings& state,
                     ChartHeader& header, char decimalSeparator) {
    ForEachLine(lines, [&](std::string_view line) {
        if (line.empty() || line[0] != '#') return; // every key starts with '#'
        if (StartsWithKey(line, 10, "#PLAYLEVEL")) state.PlayLevel = StrToInt(Columns(line, 11));
        if (StartsWithKey(line, 7, "#ARTIST")) header.Artist = Columns(line, 9);
        if (StartsWithKey(line, 6, "#TITLE")) header.Title = Columns(line, 8);
        if (StartsWithKey(line, 6, "#GENRE")) state.Genre = Columns(line, 8);
        if (StartsWithKey(line, 9, "#MIDIFILE")) header.MidiFileName = Columns(line, 11);
        if (StartsWithKey(line, 7, "#PLAYER")) header.PlayerMode = StrToInt(Columns(line, 8, 5));
        if (StartsWithKey(line, 4, "#BPM"))
            state.Bpm = StrToFloat(Columns(line, 6), decimalSeparator);
    });
}

void ScanHeader(const std::string& path, PlaySettings& state, ChartHeader& header,
                char decimalSeparator) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ScanHeaderLines(SplitLines(text), state, header, decimalSeparator);
}

} // namespace tappo::exact
