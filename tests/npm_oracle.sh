# Sourced by the oracle tests: `install_oracle PACKAGE...` installs the npm
# packages into a temporary folder ($work, removed at the end unless $keep is
# 1) and sets $here to the tests folder. Without node, npm or the registry it
# ends the test with 77 (skipped).
install_oracle() {
  if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
    echo "skipped: node or npm is not installed"
    exit 77
  fi
  here=$(cd "$(dirname "$0")" && pwd)
  work=$(mktemp -d "${TMPDIR:-/tmp}/tappo-oracle-XXXXXX")
  keep=0
  trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT
  if ! timeout 180 npm install --prefix "$work" --no-audit --no-fund --no-save --prefer-offline \
      --fetch-retries=1 --fetch-retry-mintimeout=1000 --fetch-retry-maxtimeout=3000 \
      --fetch-timeout=30000 --loglevel=error "$@" > "$work/npm.log" 2>&1; then
    echo "skipped: could not install $* from the npm registry"
    tail -3 "$work/npm.log"
    exit 77
  fi
}

# `run_oracle SCRIPT.js PLAYER` runs a tests/ oracle against the packages
# install_oracle installed, on charts it writes into $work/charts, and ends the
# test with its status; a failing run keeps $work for a look at the charts.
run_oracle() {
  NODE_PATH="$work/node_modules" node "$here/$1" "$2" "$work/charts"
  local status=$?
  [ $status = 0 ] || keep=1
  exit $status
}
