#!/bin/bash
# Timing oracle for bmson charts: installs the npm "bmson" reader (bmson@45,
# MIT, with the "bms" timing it stands on, bms@51) into a temporary folder and
# compares every sounded note's time and slice start on generated charts
# (tests/bmson_oracle.js). Exit 77 (skipped) without node, npm or the registry.
#   bash tests/bmson_oracle.sh PLAYER      (PLAYER: build-test/program/tappoplayer, run as
#                                          PLAYER --standard --inspect CHART)
set -u
tool=${1:?usage: standard_oracle.sh PLAYER}
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "skipped: node or npm is not installed"
    exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tappo-bmson-oracle-XXXXXX")
keep=0
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
if ! timeout 180 npm install --prefix "$work" --no-audit --no-fund --no-save --prefer-offline \
        --fetch-retries=1 --fetch-retry-mintimeout=1000 --fetch-retry-maxtimeout=3000 \
        --fetch-timeout=30000 --loglevel=error bms@51 bmson@45 >"$work/npm.log" 2>&1; then
    echo "skipped: could not install bmson@45 from the npm registry"
    tail -3 "$work/npm.log"
    exit 77
fi
NODE_PATH="$work/node_modules" node "$here/bmson_oracle.js" "$tool" "$work/charts"
status=$?
[ $status = 0 ] || keep=1
exit $status
