// The select screen's way into the song database.
#pragma once

#include "library/LibraryScan.h"
#include "select/SongOrder.h"

#include <string>

namespace tappo {

// The song database at `path` (the default file when empty). Without
// `scanAtStart` it is opened only when the file is there (none is made by
// looking); its charts of the reading (standard or exact) are read when the
// select screen first sorts, filters or searches, and plays are counted in
// it. With `scanAtStart` the file is made where missing, and the select
// screen's first look at the library's news starts a scan of those song
// folders on a helper thread, which stops when the view goes. A database that
// cannot be used is reported once and lists nothing.
LibraryView OpenLibraryView(const std::string& path, bool standard,
                            const ScanOptions* scanAtStart = nullptr);

} // namespace tappo
