#include "app/ChartImageCommand.h"
#include "app/CommandLine.h"
#include "app/Player.h"
#include "app/Runner.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "base/Report.h"
#include "base/Translate.h"
#include "chart/Convert.h"
#include "chart/Reading.h"
#include "chart/exact/Compiler.h"
#include "library/ChartDigest.h"
#include "library/ScanCommand.h"
#include "library/TableCommand.h"
#include "platform/Platform.h"

#include <cstdio>
#include <exception>

namespace tappo {
namespace {

// The settings file under the command line. A file with problems is reported
// line by line and the rest of it counts; --save-settings writes what the
// command line sets, and a save that fails ends the run.
bool UseSettings(CommandLine& cl) {
    const std::string path = SettingsPath();
    std::vector<std::string> problems;
    const Settings saved = ReadSettingsFile(path, problems);
    for (const std::string& problem : problems)
        ReportOnConsole(problem);
    ApplySettings(cl, saved);
    if (!cl.SaveSettings) return true;
    try {
        SaveSettings(path, cl.Given);
        ReportOnConsole(FormatText(Tr("settings saved to %s"), path));
        return true;
    } catch (const std::exception& e) {
        ReportOnConsole(e.what());
        return false;
    }
}

// A chart opened from the file manager plays in the reading that reads it:
// one only the standard reading lists (".bme", ".bml", ".pms", ".bmson"), or
// one the exact reading does not compile, plays in the standard reading.
void ChooseReadingForChart(CommandLine& cl) {
    if (!cl.AutoReading || cl.Standard || cl.Arguments.empty()) return;
    const std::string& chart = cl.Arguments[0];
    if (!HasChartExtension(chart, true)) return;
    if (!HasChartExtension(chart, false)) {
        cl.Standard = true;
        return;
    }
    try {
        exact::CompileFile(chart, LocaleDecimalSeparator());
    } catch (const CompileError&) {
        cl.Standard = true;
    }
}

} // namespace
} // namespace tappo

int main(int argc, char** argv) {
    using namespace tappo;
    // The catalogue beside the program in the build, or where the install puts it.
    const std::string folder = ExecutableFolder();
    ChooseLanguage({folder + "locale", folder + "../../share/locale"});
    CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
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
    if (!UseSettings(cl)) return 1;
    ChooseReadingForChart(cl);
    if (cl.Scan)
        return RunScanCommand({cl.Songs.empty() ? DefaultSongFolders(ExecutableFolder()) : cl.Songs,
                               ChartReadingOf(cl, false), LocaleDecimalSeparator(), cl.LibraryDb,
                               cl.Rescan});
    if (!cl.AddTable.empty() || cl.UpdateTables)
        return RunTableCommand({cl.LibraryDb, cl.AddTable, cl.Tables});
    if (!cl.Inspect.empty()) {
        try {
            // The community's names for the chart close the listing.
            const std::string listing =
                InspectChart(cl.Inspect, LocaleDecimalSeparator(), ChartReadingOf(cl, false)) +
                DigestLines(cl.Inspect);
            std::fwrite(listing.data(), 1, listing.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } catch (const CompileError& e) {
            std::fprintf(stderr, "%s\n", CompileErrorText(cl.Inspect, e).c_str());
            return 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (!cl.ChartImage.empty()) return RunChartImage(cl);
    try {
        return RunPlayer(cl);
    } catch (const std::exception& e) {
        ReportOnConsole(e.what());
        return 1;
    }
}
