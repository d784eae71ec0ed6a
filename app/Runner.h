// Runs the player: on screen through SDL, or headless with the virtual clock.
#pragma once

#include "app/CommandLine.h"

namespace tappo {

// Returns the process exit code.
int RunPlayer(const CommandLine& commandLine);

} // namespace tappo
