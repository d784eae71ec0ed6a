// The select screen's way into the song database.
#pragma once

#include "select/SongOrder.h"

#include <string>

namespace tappo {

// The song database at `path` (the default file when empty), opened now when
// the file is there; no file is made. Its charts of the reading (standard or
// exact) are read when the select screen first sorts, filters or searches; a
// database that cannot be read is reported once and lists nothing.
LibraryView OpenLibraryView(const std::string& path, bool standard);

} // namespace tappo
