#include "app/CommandLine.h"
#include "app/Runner.h"
#include "base/Report.h"
#include "chart/Convert.h"
#include "chart/Reading.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    using namespace tappo;
    const CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!cl.Error.empty()) {
        ReportOnConsole(cl.Error);
        std::fputs(("\n" + UsageText()).c_str(), stderr);
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
        ReportOnConsole(e.what());
        return 1;
    }
}
