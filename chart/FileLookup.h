// Finding the files a chart names. Charts come from Windows: their file names
// are Shift-JIS bytes, may use "\" between folders, and often differ in letter
// case from the files on disk. The name is tried as written, then converted to
// UTF-8, then without regard to case, folder by folder.
#pragma once

#include <string>

namespace tappo {

// The path of an existing file for `path`, or `path` itself when nothing matches.
std::string ResolveChartFile(const std::string& path);

// The folder part of a chart path, with its trailing separator ("" when it
// has none). "/" and "\" separate (":" is an ordinary character in names
// here); in Shift-JIS text (text that is not UTF-8) a "\" that is the second
// byte of a double-byte character does not.
std::string FolderOfChart(const std::string& path);

} // namespace tappo
