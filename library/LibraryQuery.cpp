#include "library/LibraryQuery.h"

namespace tappo {

std::vector<ChartRow> ReadChartRows(LibraryDatabase& db, bool standard) {
    Statement rows(db, "SELECT f.path, c.file_name, c.title, c.subtitle, c.artist, c.subartist,"
                       " c.genre, c.key_layout, c.level, c.bpm_main, c.length_ms, c.notes"
                       " FROM chart c JOIN folder f ON f.id = c.folder_id"
                       " WHERE c.reading = ?1 AND c.error IS NULL");
    rows.Bind(1, int64_t(standard ? 1 : 0));
    std::vector<ChartRow> charts;
    while (rows.Step()) {
        ChartRow row;
        row.Path = rows.Bytes(0) + rows.Bytes(1);
        row.Title = rows.Bytes(2);
        row.Subtitle = rows.Bytes(3);
        row.Artist = rows.Bytes(4);
        row.Subartist = rows.Bytes(5);
        row.Genre = rows.Bytes(6);
        row.KeyLayout = rows.Bytes(7);
        row.Level = int32_t(rows.Int(8));
        row.BpmMain = rows.Real(9);
        row.LengthMs = rows.Int(10);
        row.Notes = rows.Int(11);
        charts.push_back(std::move(row));
    }
    return charts;
}

} // namespace tappo
