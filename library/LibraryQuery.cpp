#include "library/LibraryQuery.h"

namespace tappo {

std::vector<ChartRow> ReadChartRows(LibraryDatabase& db, bool standard) {
    Statement rows(db, "SELECT f.path, c.file_name, c.title, c.subtitle, c.artist, c.subartist,"
                       " c.genre, c.key_layout, c.level, c.bpm_main, c.length_ms, c.notes,"
                       " s.added_at, s.last_played, s.times_played"
                       " FROM chart c JOIN folder f ON f.id = c.folder_id"
                       " LEFT JOIN chart_stats s ON s.sha256 = c.sha256"
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
        row.AddedAt = rows.Int(12);
        row.LastPlayed = rows.Int(13);
        row.TimesPlayed = rows.Int(14);
        charts.push_back(std::move(row));
    }
    return charts;
}

std::optional<ChartGraphRow> ReadChartGraph(LibraryDatabase& db, const std::string& folder,
                                            const std::string& fileName, bool standard) {
    Statement graph(db, "SELECT c.density, c.bpm_min, c.bpm_max, c.length_ms"
                        " FROM chart c JOIN folder f ON f.id = c.folder_id"
                        " WHERE f.path = ?1 AND c.file_name = ?2 AND c.reading = ?3"
                        " AND c.error IS NULL");
    graph.BindBlob(1, folder.data(), folder.size()).BindBlob(2, fileName.data(), fileName.size());
    graph.Bind(3, int64_t(standard ? 1 : 0));
    if (!graph.Step()) return std::nullopt;
    return ChartGraphRow{graph.Bytes(0), graph.Real(1), graph.Real(2), graph.Int(3)};
}

void RecordPlay(LibraryDatabase& db, const ChartDigest& digest, int64_t now) {
    Statement play(db, "INSERT INTO chart_stats(sha256, md5, added_at, last_played, times_played)"
                       " VALUES(?1, ?2, ?3, ?3, 1) ON CONFLICT(sha256) DO UPDATE SET"
                       " last_played = excluded.last_played, times_played = times_played + 1");
    play.BindBlob(1, digest.Sha256.data(), 32).BindBlob(2, digest.Md5.data(), 16).Bind(3, now);
    play.Run();
}

} // namespace tappo
