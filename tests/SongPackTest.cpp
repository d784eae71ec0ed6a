// Song folders as packs made on Windows arrive today: charts saved as UTF-8
// with a byte-order mark, keysounds re-encoded, pictures in PNG.
#include "chart/HeaderScan.h"
#include "chart/Lines.h"

#include <gtest/gtest.h>

namespace tappo {
namespace {

TEST(Utf8Chart, AByteOrderMarkDoesNotHideTheFirstHeaderKey) {
    TGameState state;
    TChartHeader header;
    ScanChartHeaderLines(SplitChartLines("\xEF\xBB\xBF#TITLE \xE3\x81\x82\r\n#PLAYLEVEL 7\r\n"), state, header, '.');
    EXPECT_EQ(header.Title, "\xE3\x81\x82");
    EXPECT_EQ(state.PlayLevel, 7);
    // Only a mark at the very start is taken away.
    EXPECT_EQ(SplitChartLines("a\n\xEF\xBB\xBF" "b")[1], "\xEF\xBB\xBF" "b");
}

} // namespace
} // namespace tappo
