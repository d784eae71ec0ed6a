#!/bin/bash
# Timing oracle for the standard reading: installs the npm "bms" parser
# (bms@51, MIT) into a temporary folder and compares every object's time on
# generated charts (tests/standard_oracle.js). Exit 77 (skipped) without node,
# npm or the registry.
#   bash tests/standard_oracle.sh TOOL     (TOOL: build-test/tests/tappo_standard_inspect)
set -u
tool=${1:?usage: standard_oracle.sh TOOL}
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "skipped: node or npm is not installed"
    exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tappo-bms-oracle-XXXXXX")
keep=0
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
if ! timeout 180 npm install --prefix "$work" --no-audit --no-fund --no-save --prefer-offline \
        --fetch-retries=1 --fetch-retry-mintimeout=1000 --fetch-retry-maxtimeout=3000 \
        --fetch-timeout=30000 --loglevel=error bms@51 >"$work/npm.log" 2>&1; then
    echo "skipped: could not install bms@51 from the npm registry"
    tail -3 "$work/npm.log"
    exit 77
fi
NODE_PATH="$work/node_modules" node "$here/standard_oracle.js" "$tool" "$work/charts"
status=$?
[ $status = 0 ] || keep=1
exit $status
