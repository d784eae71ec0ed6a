// What the song database keeps of a chart, made from its compiled form: the
// header texts, the counts, the tempo range, the length and a small note
// density summary. Pure: no file is read.
#pragma once

#include "chart/CompiledChart.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tappo {

// The song from its start to its last sound in this many equal spans.
inline constexpr int DensitySpans = 128;

// Header values the compiled chart does not keep, as the chart's own bytes:
// the last "#SUBARTIST", "#BANNER", "#STAGEFILE" and "#PREVIEW" of the file
// (control flow is not followed).
struct ChartNames {
    std::string Subartist, Banner, StageFile, Preview;
};
ChartNames ScanChartNames(std::string_view bytes);

struct ChartSummary {
    // UTF-8; empty where the chart sets none.
    std::string Title, Subtitle, Artist, Subartist, Genre;
    int32_t Level = 0;
    int32_t Difficulty = 0; // 1 beginner ... 5 insane; 0 for none
    std::string KeyLayout;  // "4" (the exact reading's arrows), "5K", "7K", "9B", "10K", "14K"
    int32_t PlayerMode = 0;
    int64_t Notes = 0;     // notes a player hits, a long note once
    int64_t LongNotes = 0; // of those, the long notes
    double BpmMin = 0, BpmMax = 0;
    double BpmMain = 0;                     // the tempo that holds longest
    int64_t LengthMs = 0;                   // the song's start to its last sound or note
    std::string Banner, StageFile, Preview; // file names, the chart's own bytes
    // Notes per second times four in each of DensitySpans equal spans, at
    // most 255; empty for a song without length.
    std::vector<uint8_t> Density;
};

ChartSummary SummarizeChart(const CompiledChart& chart, const ChartNames& names);

} // namespace tappo
