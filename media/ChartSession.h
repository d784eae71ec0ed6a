// The current chart and its loaded media: the record the select screen shows
// the chart's header from, the chart pipeline installs a compiled chart into,
// and the play screen plays and draws.
#pragma once

#include "chart/CompiledChart.h"
#include "chart/GameState.h"
#include "media/Media.h"
#include "media/Video.h"

#include <string>
#include <utility>

namespace tappo {

struct ChartSession {
    ChartHeader Header;     // written by the header scan and by each compile
    PlaySettings GameState; // the same; play moves the background images
    ChartData Chart;        // timing tables and event lists of the last compile
    std::string SongFolder; // folder of the chart shown or played
    KeysoundBank KeysoundSlots;
    BgaBank BgaSurfaces;
    // The standard reading's videos, on their slots' surfaces (after them:
    // a video goes before its surface).
    VideoBank BgaVideos;
    // The layer channel's own videos of slots the base channel shows too, on
    // surfaces of their own (OpenLayerVideos).
    BgaBank LayerSurfaces;
    VideoBank LayerVideos;

    // What the next compile keeps of this chart.
    ChartCarryOver CarryOver() const { return ChartCarryOver{Header, GameState, SongFolder}; }
    // Makes `compiled` the current chart (its media are loaded afterwards).
    void Install(CompiledChart&& compiled) {
        for (auto& video : BgaVideos)
            video.reset();
        for (auto& video : LayerVideos)
            video.reset();
        Header = std::move(compiled.Header);
        GameState = std::move(compiled.GameState);
        SongFolder = std::move(compiled.SongFolder);
        Chart = std::move(compiled.Data);
    }
};

} // namespace tappo
