#!/usr/bin/env bash
# `tappoplayer --scan` on a copy of the demo songs, read back with the sqlite3
# tool: the first scan reads every chart, a rescan none, a change only what
# changed; a database the player cannot use is left exactly as it was.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"
command -v sqlite3 > /dev/null || { echo "sqlite3 is not installed"; exit 77; }

songs="$work/songs"
db="$work/library.db"
cp -r "$(dirname "$bin")/songs" "$songs"
# Old enough that no scan takes a chart for one still being written.
find "$songs" -exec touch -d '1 hour ago' {} +
scan() { "$bin" --scan --standard --songs "$songs" --library-db "$db" "$@" 2> "$work/err"; }
sql() { sqlite3 "$db" "$1"; }

out=$(scan)
check "first scan: $out" $([[ $? -eq 0 && "$out" =~ ^5\ charts,\ 5\ added,\ 0\ changed,\ 0\ removed,\ 0\ unreadable\ in\ [0-9.]+\ s$ ]]; echo $?)
[ "$(sql 'PRAGMA user_version')" = 2 ] && [ "$(sql 'PRAGMA journal_mode')" = wal ]
check "schema version 2, write-ahead log" $?
[ "$(sql 'SELECT count(*) FROM chart WHERE error IS NULL AND notes > 0 AND length_ms > 0')" = 5 ] &&
  [ "$(sql 'SELECT count(*) FROM chart_stats')" = 5 ] && [ "$(sql 'SELECT count(*) FROM folder')" = 4 ]
check "five charts with their summaries, four folders, five statistics rows" $?
chart="$songs/demo1-morning-steps/morning.bms"
[ "$(sql "SELECT lower(hex(md5)) || ' ' || lower(hex(sha256)) FROM chart WHERE title LIKE '%Morning%'")" = \
  "$(md5sum < "$chart" | cut -d' ' -f1) $(sha256sum < "$chart" | cut -d' ' -f1)" ]
check "the row's hashes are md5sum's and sha256sum's" $?
[ "$("$bin" --inspect "$chart" | tail -2)" = "Md5 $(md5sum < "$chart" | cut -d' ' -f1)
Sha256 $(sha256sum < "$chart" | cut -d' ' -f1)" ]
check "--inspect ends with md5sum's and sha256sum's digests" $?

out=$(scan)
check "rescan reads nothing: $out" $([[ "$out" == "5 charts, 0 added, 0 changed, 0 removed, 0 unreadable"* ]]; echo $?)
out=$("$bin" --rescan --standard --songs "$songs" --library-db "$db" 2> "$work/err")
check "--rescan reads every chart again: $out" $([[ "$out" == "5 charts, 0 added, 5 changed, 0 removed, 0 unreadable"* ]]; echo $?)

sql "UPDATE chart_stats SET times_played = 3"
echo "#SUBTITLE another" >> "$chart" && touch -d '10 minutes ago' "$chart"
rm -r "$songs/demo3-wide-road"
out=$(scan)
check "a changed and a removed chart: $out" $([[ "$out" == "4 charts, 0 added, 1 changed, 1 removed, 0 unreadable"* ]]; echo $?)
[ "$(sql "SELECT subtitle FROM chart WHERE title LIKE '%Morning%'")" = another ] &&
  [ "$(sql 'SELECT count(*) FROM chart_stats WHERE times_played = 3')" = 5 ]
check "the changed chart read again, every statistic kept" $?

mv "$songs" "$work/elsewhere"
out=$(scan)
check "a missing song folder deletes nothing ($(cat "$work/err"))" \
  $([[ "$out" == "0 charts, 0 added, 0 changed, 0 removed"* ]] && grep -q "$songs" "$work/err" &&
    [ "$(sql 'SELECT count(*) FROM chart')" = 4 ]; echo $?)
mv "$work/elsewhere" "$songs"

printf '#TITLE x\n' > "$songs/huge.bms"
truncate -s 70M "$songs/huge.bms"
head -c 5000 /dev/urandom > "$songs/garbage.bmson"
out=$(scan)
check "hostile charts are stored with their errors: $out" \
  $([[ "$out" == "6 charts, 2 added, 0 changed, 0 removed, 2 unreadable"* ]] &&
    [ "$(sql "SELECT count(*) FROM chart WHERE error <> ''")" = 2 ]; echo $?)

sql "PRAGMA user_version = 7"
sqlite3 "$db" "PRAGMA wal_checkpoint(TRUNCATE)" > /dev/null
cp "$db" "$work/before.db"
scan > /dev/null
rc=$?
cmp -s "$db" "$work/before.db" && [ $rc -eq 1 ] && grep -q "newer player" "$work/err"
check "a database of a newer player is left as it is (exit $rc)" $?
head -c 20000 /dev/urandom > "$work/damaged.db"
cp "$work/damaged.db" "$work/damaged.copy"
"$bin" --scan --songs "$songs" --library-db "$work/damaged.db" > /dev/null 2> "$work/err"
rc=$?
cmp -s "$work/damaged.db" "$work/damaged.copy" && [ $rc -eq 1 ] && grep -q "damaged" "$work/err"
check "a damaged database is left as it is (exit $rc)" $?
exit $fail
