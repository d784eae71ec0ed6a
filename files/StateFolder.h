// Where the player keeps what it writes for itself when its own folder is
// read-only (a system-wide install).
#pragma once

#include <string>

namespace tappo {

// The sound problem log: "ddsd.debug" in the program folder where that folder
// can be written, otherwise in the user's XDG state folder
// ($XDG_STATE_HOME/tappoplayer, by default ~/.local/state/tappoplayer), which is
// made when missing.
std::string ProblemLogPath(const std::string& programFolder);
// The same choice with the folder's writability given (root may write anywhere).
std::string ProblemLogPath(const std::string& programFolder, bool programFolderWritable);

} // namespace tappo
