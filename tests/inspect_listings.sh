#!/usr/bin/env bash
# Every chart in the data folder with an .expected listing must list exactly so;
# a chart that does not compile exits 1 with its error on stderr.
set -u
bin="$1"; data="$2"
fail=0
for expected in "$data"/*.expected; do
  chart="${expected%.expected}.bms"
  if diff <("$bin" --inspect "$chart") "$expected" > /dev/null; then
    echo "ok - $(basename "$chart")"
  else
    echo "FAILED - $(basename "$chart") listing differs:"
    diff <("$bin" --inspect "$chart") "$expected" | head -20
    fail=1
  fi
done
err=$("$bin" --inspect "$data/bad_measure.bms" 2>&1 >/dev/null); rc=$?
if [ $rc -eq 1 ] && [ "$err" = "$data/bad_measure.bms:4: '0a1' は整数ではありません" ]; then
  echo "ok - a chart that does not compile exits 1 with its file, line and error"
else
  echo "FAILED - bad_measure.bms: exit $rc, stderr '$err'"; fail=1
fi
"$bin" --inspect "$data/no-such-chart.bms" > /dev/null 2>&1
[ $? -eq 1 ] && echo "ok - a missing chart exits 1" || { echo "FAILED - missing chart"; fail=1; }
[ $fail -eq 0 ] && echo "inspector: all passed"
exit $fail
