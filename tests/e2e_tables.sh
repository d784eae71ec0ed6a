#!/usr/bin/env bash
# `tappoplayer --add-table` and `--update-tables` against a local web server
# (tests/table_server.py) serving a made-up table of the demo songs' charts,
# then the answers a server should not give: each is one message naming the
# URL, exit 1, and the table stored before stays whole.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"
command -v sqlite3 > /dev/null || { echo "sqlite3 is not installed"; exit 77; }
command -v python3 > /dev/null || { echo "python3 is not installed"; exit 77; }
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_STATE_HOME="$work/state"
songs="$(dirname "$bin")/songs" db="$work/library.db" web="$work/web"
sql() { sqlite3 "$db" "$1"; }
mkdir -p "$web/sub"
"$bin" --scan --standard --songs "$songs" --library-db "$db" > /dev/null 2>&1

# Two levels, "2" listed first; one chart the library lacks.
sha() { sha256sum < "$songs/$1" | cut -d' ' -f1; }
cat > "$web/sub/data.json" << JSON
[{"level":"1","sha256":"$(sha demo1-morning-steps/morning.bms)","title":"Morning"},
 {"level":2,"md5":"$(md5sum < "$songs/demo2-twin-lanes/twin-hard.bms" | cut -d' ' -f1)"},
 {"level":"2","md5":"00000000000000000000000000000000","title":"Absent","url":"https://example.org/a.zip"},
 {"level":"1","md5":"not hex"}]
JSON
echo '{"name":"Test table","symbol":"T","data_url":"sub/data.json","level_order":[2,"1"]}' > "$web/header.json"
echo '<html><head><META content="header.json" NAME=bmstable></head></html>' > "$web/index.html"
echo '{"name":"Broken","data_url":"sub/broken.json"}' > "$web/broken-header.json"
echo '[{"level":"1","md5":' > "$web/sub/broken.json"
echo '{"name":"Huge","data_url":"/huge.json"}' > "$web/huge-header.json"

python3 "$(dirname "$0")/table_server.py" "$web" "$work/port" &
server=$!
trap 'kill $server 2> /dev/null; chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")"
add() { "$bin" --add-table "$1" --library-db "$db" > "$work/out" 2> "$work/err"; }

add "$url/index.html"
check "a table added: $(cat "$work/out") $(cat "$work/err")" \
  $([[ $? -eq 0 && "$(cat "$work/out")" == "Test table: 3 entries, 2 in your library" ]] &&
    grep -q "entries left out: 1" "$work/err"; echo $?)
[ "$(sql "SELECT name || symbol || level_order FROM difficulty_table")" = 'Test tableT["2","1"]' ] &&
  [ "$(sql 'SELECT group_concat(level) FROM table_entry ORDER BY position')" = "1,2,2" ]
check "its header and entries stored in the table's order" $?

entries() { sql 'SELECT count(*) FROM table_entry'; }
bad() { # description, source, what the message must say
  add "$2"
  local status=$? message
  message=$(cat "$work/err")
  check "$1: $message" $([[ $status -eq 1 && "$message" == *"$url"* && "$message" == *"$3"* &&
    $(entries) -eq 3 ]]; echo $?)
}
bad "a 404" "$url/missing.html" "HTTP 404"
bad "malformed JSON" "$url/broken-header.json" "sub/broken.json"
bad "a body past the cap" "$url/huge-header.json" "larger than 32 MB"
bad "a redirect loop" "$url/loop" "more than 5 redirects"
# A test-only limit of 2 s stands for the minute a real fetch is given.
start=$(date +%s)
export TAPPO_FETCH_TIMEOUT_S=2
bad "a server that never answers" "$url/hang" "timed out"
unset TAPPO_FETCH_TIMEOUT_S
check "given up within seconds" $([ $(($(date +%s) - start)) -lt 10 ]; echo $?)

# A refresh that fails keeps the table; one that reads replaces it.
mkdir -p "$XDG_CONFIG_HOME/tappoplayer"
echo "table = $url/missing.html" > "$XDG_CONFIG_HOME/tappoplayer/settings"
"$bin" --update-tables --library-db "$db" > "$work/out" 2> "$work/err"
check "--update-tables goes on past a failure and exits 1" \
  $([[ $? -eq 1 && "$(cat "$work/out")" == "Test table: 3 entries, 2 in your library" ]] &&
    grep -q "missing.html" "$work/err"; echo $?)
check "only the table that read is stored" \
  $([ "$(sql 'SELECT count(*) FROM difficulty_table')" = 1 ]; echo $?)

# A table as large as is read, every entry a level of its own and the level
# order naming them all: the select screen is up within seconds.
python3 - "$work" << 'PY'
import json, sys
n = 200000
json.dump({"name": "Wide", "data_url": "wide-data.json",
           "level_order": [str(i) for i in range(n - 1, -1, -1)]}, open(sys.argv[1] + "/wide.json", "w"))
json.dump([{"level": str(i), "md5": "%032x" % i} for i in range(n)], open(sys.argv[1] + "/wide-data.json", "w"))
PY
"$bin" --add-table "$work/wide.json" --library-db "$work/wide.db" > /dev/null 2>&1
start=$(date +%s)
timeout 60 "$bin" --headless --frames 2 --songs "$songs" --library-db "$work/wide.db" > /dev/null 2>&1
check "200,000 levels listed at start within seconds" $([[ $? -eq 0 && $(($(date +%s) - start)) -lt 20 ]]; echo $?)

exit $fail
