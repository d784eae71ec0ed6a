// The density graph the select screen draws under the banner for the chart
// under the cursor: notes per second over the song, from the song database,
// with the song's length and tempo range beside it.
#pragma once

#include "platform/Surface.h"
#include "select/SongOrder.h"

#include <string>

namespace tappo {

// Where the graph stands: under the banner and its stars, over the start plate.
inline constexpr Rect GraphArea{97, 199, 97 + 128, 211};

// "2:05 120-180" (length, then the tempo range; one tempo when it holds
// throughout); empty parts are left out.
std::string GraphText(const ChartGraph& graph);
// One column per span of the density, its height scaled to the chart's own
// peak, in `colour` (0x00BBGGRR), squeezed or widened to `area`; a white
// base line under them.
void DrawDensityGraph(Surface& back, const ChartGraph& graph, const Rect& area, uint32_t colour);

} // namespace tappo
