// How the player tells its user something, decided here for the whole program:
// - an error that stops what the user asked for goes to the message box
//   (MessageBox in platform/: this console line, plus a box while a window is
//   up);
// - a sound problem goes to the problem log (ProblemLog, "ddsd.debug"), never
//   to the screen;
// - a notice that leaves the player working (no font, no soundfont, a banner
//   that could not be saved) is this console line alone.
// Every console line a report makes is written by ReportOnConsole.
#pragma once

#include <functional>
#include <string>

namespace tappo {

// Writes "tappoplayer: <text>" and a line break to stderr (or to the sink a
// test installed). Safe from any thread.
void ReportOnConsole(const std::string& text);

// Where console reports go instead of stderr: the whole line, break included.
// An empty sink restores stderr. Returns the sink it replaces.
using ConsoleSink = std::function<void(const std::string& line)>;
ConsoleSink SetConsoleSink(ConsoleSink sink);

} // namespace tappo
