// Every fuzz seed and every input a fuzz run once found crashing, fed to its
// reader again in the ordinary suite (and so under the sanitizers too).
#include "files/Files.h"
#include "formats/Picture.h"
#include "tests/fuzz/Feeders.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace tappo;

namespace {

// Files of tests/<folder>/<reader>/, in name order.
std::vector<std::filesystem::path> FilesOf(const std::string& folder, const std::string& reader) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(
             std::filesystem::path(TAPPO_TESTS_DIR) / folder / reader, ec))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const std::string& folder, size_t& fed) {
    for (const std::string& reader : fuzz::ReaderNames()) {
        const fuzz::Feeder feed = fuzz::FeederNamed(reader);
        ASSERT_NE(feed, nullptr) << reader;
        for (const auto& file : FilesOf(folder, reader)) {
            SCOPED_TRACE(file.string());
            const std::vector<uint8_t> bytes = ReadWholeFile(file.string());
            feed(bytes.data(), bytes.size());
            ++fed;
        }
    }
}

} // namespace

TEST(Replay, EveryFuzzSeedIsReadOrRefused) {
    size_t fed = 0;
    Replay("fuzz/corpus", fed);
    EXPECT_GE(fed, 8u) << "each reader has its seeds";
}

TEST(Replay, EveryRegressionFileIsReadOrRefused) {
    size_t fed = 0;
    Replay("data/regressions", fed);
    EXPECT_GE(fed, 1u);
}

TEST(Replay, PictureSeedsAreValidSoTheFuzzerStartsDeep) {
    // Except the header-only ones, every picture seed decodes: a seed that is
    // refused at its header leaves the pixel readers unexplored.
    for (const char* reader : {"bmp", "dib"}) {
        for (const auto& file : FilesOf("fuzz/corpus", reader)) {
            if (file.filename().string().rfind("header-only", 0) == 0) continue;
            const std::vector<uint8_t> bytes = ReadWholeFile(file.string());
            EXPECT_NO_THROW(std::string(reader) == "bmp"
                                ? DecodeBmpFile(bytes.data(), bytes.size())
                                : DecodePackedDib(bytes.data(), bytes.size()))
                << file;
        }
    }
}
