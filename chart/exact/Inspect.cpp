#include "chart/exact/Inspect.h"

#include "chart/exact/Compiler.h"

#include "chart/Listing.h"

#include <memory>

namespace tappo::exact {

std::string FormatInspection(const PlaySettings& state, const ChartHeader& header,
                             const ChartData& chart) {
    std::string out;
    size_t records = 0;
    for (const EventList& list : chart.Events.Lists)
        records += list.size();
    out.reserve(512 + records * 26 + size_t(chart.LastObjectMeasure + 1) * 48);
    auto line = [&](const char* name, const std::string& value) {
        AppendListingLine(out, name, value);
    };
    AppendListingHeader({header.Title, header.Artist, state.Genre, state.PlayLevel, state.Bpm,
                         header.PlayerMode, header.MidiFileName},
                        out);
    for (int m = 0; m <= chart.LastObjectMeasure; ++m) {
        line("MeasureStart",
             std::to_string(m) + ' ' + ListingMillis(chart.MeasureStart[size_t(m)]));
        line("MeasureLength",
             std::to_string(m) + ' ' + ListingMillis(chart.MeasureLength[size_t(m)]));
    }
    for (int i = 0; i < int(chart.Events.Lists.size()); ++i) {
        const std::string name = EventListName(i);
        for (const EventRecord& r : chart.Events[i])
            line(name.c_str(), r.Text());
    }
    line("LastSoundTime", std::to_string(chart.LastSoundTime));
    line("ScrollSpeed", ListingNumber(state.ScrollSpeed));
    line("Lane1X", std::to_string(state.Lane1X));
    line("Lane2X", std::to_string(state.Lane2X));
    line("HasBga", chart.HasBga ? "1" : "0");
    line("HasBgaLayer", chart.HasBgaLayer ? "1" : "0");
    line("BgaBaseImage", std::to_string(state.BgaBaseImage));
    return out;
}

std::string Inspect(const std::string& path, char decimalSeparator) {
    const auto chart = std::make_unique<CompiledChart>(CompileFile(path, decimalSeparator));
    return FormatInspection(chart->GameState, chart->Header, chart->Data);
}

} // namespace tappo::exact
