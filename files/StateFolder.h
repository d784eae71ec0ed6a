// Where the player keeps what it writes for itself when its own folder is
// read-only (a system-wide install).
#pragma once

#include <string>

namespace tappo {

// The player's own folder, "<base>/tappoplayer/", in the user's XDG base folder
// named by `variable` (XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME,
// XDG_STATE_HOME), or where that is unset or relative, in $HOME/`underHome`
// (".config", ".local/share", ".cache", ".local/state"). Empty when neither
// gives an absolute path. The folder is not made.
std::string UserFolder(const char* variable, const char* underHome);

// The sound problem log: "ddsd.debug" in the program folder where that folder
// can be written, otherwise in the user's XDG state folder
// ($XDG_STATE_HOME/tappoplayer, by default ~/.local/state/tappoplayer), which is
// made when missing.
std::string ProblemLogPath(const std::string& programFolder);
// The same choice with the folder's writability given (root may write anywhere).
std::string ProblemLogPath(const std::string& programFolder, bool programFolderWritable);

} // namespace tappo
