// The difficulty tables: the reader of the page, header and data, and the
// import into the song database that keeps a table whole or not at all.
#include "library/LibraryDatabase.h"
#include "library/TableReader.h"

#include <gtest/gtest.h>

namespace tappo {
namespace {

TEST(TableReader, FindsTheMetaTagWhateverItsSpelling) {
    EXPECT_EQ(FindTableMeta(R"(<html><head><meta name="bmstable" content="header.json"></head>)"),
              "header.json");
    EXPECT_EQ(FindTableMeta("<META CONTENT='h.json?a=1&amp;b=2' Name='BMSTable' />"),
              "h.json?a=1&b=2");
    EXPECT_EQ(FindTableMeta("<meta charset=utf-8><meta\ncontent=h.json name=bmstable>"), "h.json");
    EXPECT_EQ(FindTableMeta(R"(<meta name="bmstable-x" content="no"><metadata name="bmstable")"),
              std::nullopt);
    EXPECT_EQ(FindTableMeta(R"(<meta name="bmstable" content="cut)"), "cut");
    EXPECT_EQ(FindTableMeta("<meta name=\"bmstable\""), std::nullopt);
}

TEST(TableReader, ResolvesRelativeUrls) {
    const std::string page = "https://example.org/tables/insane/index.html?x=1";
    EXPECT_EQ(ResolveTableUrl(page, "header.json"),
              "https://example.org/tables/insane/header.json");
    EXPECT_EQ(ResolveTableUrl(page, "../data.json"), "https://example.org/tables/data.json");
    EXPECT_EQ(ResolveTableUrl(page, "/d.json?v=2"), "https://example.org/d.json?v=2");
    EXPECT_EQ(ResolveTableUrl(page, "//cdn.example.org/d.json"), "https://cdn.example.org/d.json");
    EXPECT_EQ(ResolveTableUrl(page, "http://other/x.json"), "http://other/x.json");
    EXPECT_EQ(ResolveTableUrl("http://host", "h.json"), "http://host/h.json");
    EXPECT_EQ(ResolveTableUrl("/home/me/table/page.html", "h.json"), "/home/me/table/h.json");
    EXPECT_EQ(ResolveTableUrl("page.html", "h.json"), "h.json");
}

TEST(TableReader, ReadsTheHeaderWithOneOrSeveralDataUrls) {
    const TableHeader one = ReadTableHeader(
        R"({"name":"Insane","symbol":"★","data_url":"data.json","level_order":[1,"2",3.5,"?"]})",
        "http://h/t/header.json");
    EXPECT_EQ(one.Name, "Insane");
    EXPECT_EQ(one.Symbol, "★");
    EXPECT_EQ(one.DataUrls, std::vector<std::string>{"http://h/t/data.json"});
    EXPECT_EQ(one.LevelOrder, (std::vector<std::string>{"1", "2", "3.5", "?"}));
    const TableHeader many = ReadTableHeader(
        "\xEF\xBB\xBF{\"name\":\"N\",\"data_url\":[\"a.json\",\"/b.json\",7],\"level_order\":{}}",
        "http://h/t/header.json");
    EXPECT_EQ(many.DataUrls, (std::vector<std::string>{"http://h/t/a.json", "http://h/b.json"}));
    EXPECT_TRUE(many.LevelOrder.empty());
}

TEST(TableReader, RefusesAHeaderWithoutNameOrData) {
    EXPECT_THROW(ReadTableHeader(R"({"name":"N"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"data_url":"d"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":["N"],"data_url":"d"})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":"N","data_url":{}})", "h"), TableError);
    EXPECT_THROW(ReadTableHeader(R"({"name":"N","data_url":"d")", "h"), TableError);
    EXPECT_THROW(ReadTableHeader("[]", "h"), TableError);
}

TEST(TableReader, ReadsEntriesAndSkipsThoseOfTheWrongKind) {
    const std::string md5(32, 'A'), sha(64, 'b');
    TableData data;
    ReadTableData(R"([
        {"level":12,"md5":")" +
                      md5 + R"(","title":"T\nx","artist":"A","url":"u","url_diff":"d"},
        {"level":"3","sha256":")" +
                      sha + R"(","md5":"","extra":[1,2]},
        {"level":1.5,"md5":null,"sha256":")" +
                      sha + R"("},
        {"level":[1],"md5":")" +
                      md5 + R"("},
        {"level":"1","md5":"xyz"},
        {"level":"1","sha256":")" +
                      md5 + R"("},
        {"level":"1"},
        {"md5":")" + md5 +
                      R"("},
        {"level":"1","md5":")" +
                      md5 + R"(","title":{}},
        "text", 5, null])",
                  data);
    ASSERT_EQ(data.Entries.size(), 3U);
    EXPECT_EQ(data.Entries[0].Level, "12");
    EXPECT_EQ(data.Entries[0].Md5, std::string(32, 'a'));
    EXPECT_EQ(data.Entries[0].Title, "T x");
    EXPECT_EQ(data.Entries[0].UrlDiff, "d");
    EXPECT_EQ(data.Entries[1].Sha256, sha);
    EXPECT_TRUE(data.Entries[1].Md5.empty());
    EXPECT_EQ(data.Entries[2].Level, "1.5");
    EXPECT_EQ(data.Skipped, 9U);
    ASSERT_FALSE(data.Warnings.empty());
    EXPECT_EQ(data.Warnings[0], "entry 3: level is not a string or number");
}

TEST(TableReader, RefusesDataThatIsNoArrayOrDoesNotParse) {
    TableData data;
    EXPECT_THROW(ReadTableData(R"({"level":1})", data), TableError);
    EXPECT_THROW(ReadTableData(R"([{"level":1,)", data), TableError);
    EXPECT_THROW(ReadTableData("", data), TableError);
    EXPECT_THROW(ReadTableData(std::string(MaxTableDocumentBytes + 1, ' '), data), TableError);
    EXPECT_TRUE(LooksLikeJson(" \n{\"name\":1}"));
    EXPECT_FALSE(LooksLikeJson("<!DOCTYPE html>"));
}

} // namespace
} // namespace tappo
