#include "files/StateFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace tappo {
std::string UserFolder(const char* variable, const char* underHome) {
    const char* base = std::getenv(variable);
    // The XDG rules ignore a relative value.
    if (base && base[0] == '/') return std::string(base) + "/tappoplayer/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + underHome + "/tappoplayer/";
    return "";
}

std::string ProblemLogPath(const std::string& programFolder) {
    const std::string folder = programFolder.empty() ? "." : programFolder;
    return ProblemLogPath(programFolder, access(folder.c_str(), W_OK) == 0);
}

std::string ProblemLogPath(const std::string& programFolder, bool programFolderWritable) {
    std::string inProgramFolder = programFolder + "ddsd.debug";
    if (programFolderWritable) return inProgramFolder;
    const std::string state = UserFolder("XDG_STATE_HOME", ".local/state");
    if (state.empty()) return inProgramFolder;
    std::error_code ec;
    std::filesystem::create_directories(state, ec);
    return ec ? inProgramFolder : state + "ddsd.debug";
}

} // namespace tappo
