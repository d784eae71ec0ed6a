// Build step: writes the player's sprite archive, bitmaps and tick sample into
// the program folder given on the command line, and the demo songs below it.
#include "tools/Assets.h"
#include "tools/DemoSongs.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tappo-assets PROGRAM_FOLDER\n");
        return 2;
    }
    try {
        const std::string folder = std::string(argv[1]) + "/";
        tappo::tools::WriteProgramAssets(folder);
        tappo::tools::WriteDemoSongs(folder + "songs/");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappo-assets: %s\n", e.what());
        return 1;
    }
    return 0;
}
