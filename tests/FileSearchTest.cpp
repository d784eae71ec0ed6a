// The file search: breadth-first folder order, sorted names, wildcards.
#include "files/FileSearch.h"
#include "TestUtil.h"
#include "files/Files.h"
#include "formats/Picture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tappo;
using namespace tappo::test;

namespace {

void Touch(const TempDir& dir, const std::string& relative) {
    std::filesystem::create_directories(std::filesystem::path(dir.File(relative)).parent_path());
    WriteFileAtomic(dir.File(relative), {'#'});
}

} // namespace

TEST(Search, BaseFolderFirstThenBreadthFirstSortedWithinFolders) {
    TempDir dir;
    for (const char* f : {"top.bms", "b/b1.BMS", "a/x/deep.bms", "a/A2.bms", "a/a1.bms",
                          "a/notes.txt", "B2/z.bms", "a/x/y/deeper.bms"})
        Touch(dir, f);
    std::filesystem::create_directories(dir.File("a/folder.bms"));
    FileSearch search;
    search.Directory = dir.Folder();
    search.SearchName = "*.bms";
    search.Recursive = true;
    std::vector<std::string> found;
    std::vector<bool> folders;
    search.OnFound = [&](const std::string& name, const FoundFile& data) {
        found.push_back(name.substr(dir.Folder().size()));
        folders.push_back(data.IsDirectory);
        return true;
    };
    EXPECT_TRUE(search.Search());
    EXPECT_EQ(found, (std::vector<std::string>{"top.bms", "a/a1.bms", "a/A2.bms", "a/folder.bms",
                                               "b/b1.BMS", "B2/z.bms", "a/x/deep.bms",
                                               "a/x/y/deeper.bms"}));
    EXPECT_TRUE(folders[3]) << "a folder named like a chart is reported, marked as a folder";

    // Stopping at the first find, without looking into subfolders.
    FileSearch first;
    first.Directory = dir.File("a");
    first.SearchName = "*.BMS";
    std::string hit;
    first.OnFound = [&](const std::string& name, const FoundFile&) {
        hit = name;
        return false;
    };
    EXPECT_FALSE(first.Search());
    EXPECT_EQ(hit, dir.File("a") + "/a1.bms");

    // A missing folder gives nothing; a search inside a handler does nothing.
    FileSearch none;
    none.Directory = dir.File("missing");
    none.Recursive = true;
    int count = 0;
    none.OnFound = [&](const std::string&, const FoundFile&) {
        ++count;
        return true;
    };
    EXPECT_TRUE(none.Search());
    EXPECT_EQ(count, 0);
    FileSearch nested;
    nested.Directory = dir.Folder();
    bool inner = true;
    nested.OnFound = [&](const std::string&, const FoundFile&) {
        inner = nested.Search();
        return false;
    };
    nested.Search();
    EXPECT_FALSE(inner);
    FileSearch unassigned;
    EXPECT_FALSE(unassigned.Search());
}

TEST(Search, LinkLoopsAreWalkedOnce) {
    TempDir dir;
    Touch(dir, "a/song.bms");
    std::filesystem::create_directory_symlink(dir.File("a"), dir.File("a/loop"));
    FileSearch search;
    search.Directory = dir.Folder();
    search.SearchName = "*.bms";
    search.Recursive = true;
    int count = 0;
    search.OnFound = [&](const std::string&, const FoundFile&) {
        ++count;
        return true;
    };
    search.Search();
    EXPECT_EQ(count, 1);
}

TEST(Search, Wildcards) {
    EXPECT_TRUE(MatchesWildcard("Song.BMS", "*.bms"));
    EXPECT_TRUE(MatchesWildcard("a.bms", "?.bms"));
    EXPECT_FALSE(MatchesWildcard("ab.bms", "?.bms"));
    EXPECT_FALSE(MatchesWildcard("a.bmsx", "*.bms"));
    EXPECT_TRUE(MatchesWildcard("x.y.bms", "*.*"));
    EXPECT_TRUE(MatchesWildcard("anything", "*"));
    EXPECT_TRUE(MatchesWildcard("a*b", "a*b"));
    EXPECT_TRUE(NameLess("a", "B"));
    EXPECT_TRUE(NameLess("B", "c"));
}

TEST(Search, AbsoluteNamesAndOnlyFilesAndFolders) {
    TempDir dir;
    Touch(dir, "s/a/1.bms");
    ASSERT_EQ(mkfifo(dir.File("s/a/2.bms").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.File("s/3.bms").c_str(), 0600), 0);
    std::filesystem::create_directories(dir.File("s/b.bms"));
    FileSearch search;
    // A folder given relative to the working folder, without a trailing "/".
    const std::filesystem::path relative = std::filesystem::relative(dir.File("s"));
    search.Directory = relative.string();
    search.SearchName = "*.bms";
    search.Recursive = true;
    std::vector<std::string> found;
    search.OnFound = [&](const std::string& name, const FoundFile&) {
        found.push_back(name);
        return true;
    };
    EXPECT_TRUE(search.Search());
    EXPECT_EQ(found, (std::vector<std::string>{dir.File("s/b.bms"), dir.File("s/a/1.bms")}))
        << "absolute paths; the FIFOs are left out, the folder named like a chart is not";
    EXPECT_EQ(search.FolderList().front(), dir.File("s") + "/");
}
