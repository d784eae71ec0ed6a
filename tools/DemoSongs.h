// The demo songs in the program folder: charts with their keysounds, MIDI
// music, background images and banners, all composed and drawn here.
#pragma once

#include <string>

namespace tappo::tools {

// Writes the demo song folders below `songsFolder`.
void WriteDemoSongs(const std::string& songsFolder);

} // namespace tappo::tools
