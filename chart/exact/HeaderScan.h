// The header scan: title, artist, genre, level, tempo, MIDI file and player
// mode of one chart, read fresh from the file each time.
#pragma once

#include "chart/GameState.h"

#include <string>
#include <string_view>
#include <vector>

namespace tappo::exact {

// Writes only the keys it finds; the last occurrence of a key wins. Throws the
// file's open error or a conversion error, keeping what earlier lines wrote.
void ScanHeader(const std::string& path, PlaySettings& state, ChartHeader& header,
                char decimalSeparator);
// The same over lines already read.
void ScanHeaderLines(const std::vector<std::string_view>& lines, PlaySettings& state,
                     ChartHeader& header, char decimalSeparator);

} // namespace tappo::exact
