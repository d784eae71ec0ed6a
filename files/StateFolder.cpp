#include "files/StateFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace tappo {
namespace {

std::string UserStateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // The XDG rules ignore a relative value.
    if (state && state[0] == '/') return std::string(state) + "/tappoplayer/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/tappoplayer/";
    return "";
}

} // namespace

std::string ProblemLogPath(const std::string& programFolder) {
    const std::string folder = programFolder.empty() ? "." : programFolder;
    return ProblemLogPath(programFolder, access(folder.c_str(), W_OK) == 0);
}

std::string ProblemLogPath(const std::string& programFolder, bool programFolderWritable) {
    const std::string inProgramFolder = programFolder + "ddsd.debug";
    if (programFolderWritable) return inProgramFolder;
    const std::string state = UserStateFolder();
    if (state.empty()) return inProgramFolder;
    std::error_code ec;
    std::filesystem::create_directories(state, ec);
    return ec ? inProgramFolder : state + "ddsd.debug";
}

} // namespace tappo
