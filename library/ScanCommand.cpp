#include "library/ScanCommand.h"

#include "base/Report.h"
#include "base/Translate.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryScan.h"

#include <chrono>
#include <cstdio>

namespace tappo {

int RunScanCommand(const ScanCommand& command) {
    const auto start = std::chrono::steady_clock::now();
    const std::string path =
        command.DatabasePath.empty() ? DefaultLibraryPath() : command.DatabasePath;
    if (path.empty()) {
        ReportOnConsole(
            Tr("no place for the song database: neither XDG_DATA_HOME nor HOME is set"));
        return 1;
    }
    try {
        LibraryDatabase db(path);
        if (!db.Notice().empty()) ReportOnConsole(db.Notice());
        ScanOptions options;
        options.Roots = command.Songs;
        options.Reading = command.Reading;
        options.DecimalSeparator = command.DecimalSeparator;
        options.ReadAll = command.ReadAll;
        const ScanCounts counts = ScanLibrary(db, options);
        for (const std::string& notice : counts.Notices)
            ReportOnConsole(notice);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf(Tr("%lld charts, %lld added, %lld changed, %lld removed, %lld unreadable in "
                       "%.1f s\n"),
                    (long long)counts.Charts, (long long)counts.Added, (long long)counts.Changed,
                    (long long)counts.Removed, (long long)counts.Unreadable, seconds);
        return std::fflush(stdout) == 0 && !db.InMemory() ? 0 : 1;
    } catch (const LibraryError& e) {
        ReportOnConsole(FormatText(Tr("the song database %s: %s"), path, e.what()));
        return 1;
    }
}

} // namespace tappo
