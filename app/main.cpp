#include "app/CommandLine.h"
#include "app/Runner.h"
#include "chart/Convert.h"
#include "chart/Inspect.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    using namespace tappo;
    const TCommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!cl.Error.empty()) {
        std::fprintf(stderr, "tappoplayer: %s\n\n%s", cl.Error.c_str(), UsageText().c_str());
        return 2;
    }
    if (cl.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (cl.Version) {
        std::puts(VersionText);
        return 0;
    }
    if (!cl.Inspect.empty()) {
        try {
            const std::string listing =
                InspectChart(cl.Inspect, LocaleDecimalSeparator(), ChartReadingOf(cl, false));
            std::fwrite(listing.data(), 1, listing.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    try {
        return RunPlayer(cl);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tappoplayer: %s\n", e.what());
        return 1;
    }
}
