#!/usr/bin/env bash
# Every source the build compiles (its compile_commands.json) passes the checks
# of .clang-tidy, and so do our headers they include. The checks are clang-tidy
# 14's (Debian 12); another version brings checks of its own under the same
# names, so the check is skipped there, and without clang-tidy.
#   tidy_check.sh SOURCE_DIR BUILD_DIR
# Findings in the paths listed in tests/tidy_pending.txt (a folder ends in "/")
# are not counted: those parts are not clean yet.
set -u
root=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
command -v clang-tidy > /dev/null || { echo "clang-tidy missing: skipped"; exit 77; }
version=$(clang-tidy --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
[ "$version" = 14 ] || { echo "clang-tidy $version is not 14: skipped"; exit 77; }
db="$build/compile_commands.json"
[ -f "$db" ] || { echo "$db missing: configure with CMAKE_EXPORT_COMPILE_COMMANDS=ON"; exit 1; }

# CMake writes one "file" entry a line; sources it generates in the build
# folder are not ours to check.
mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | grep -v "^$build/" | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no sources in $db"; exit 1; }

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# One log per source, so that the parallel runs' lines never interleave; a run
# that fails without a diagnostic of its own (a crash, a broken configuration)
# leaves its log to be shown whole.
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c '
  log="$2/$(basename "$3").$$"
  clang-tidy -p "$1" --quiet "$3" > "$log.log" 2>&1 || touch "$log.failed"' _ "$build" "$logs"

# "path:line:col: warning: text [check]", with the path relative to the
# source folder; the same header finding comes once from every source including it.
findings=$(cat "$logs"/*.log | grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error): ' |
  while IFS= read -r line; do
    path=${line%%:*}
    echo "$(realpath -m --relative-to="$root" "$path")${line#"$path"}"
  done | sort -u)
broken=()
for failed in "$logs"/*.failed; do
  [ -e "$failed" ] || continue
  grep -q -E ': error: ' "${failed%.failed}.log" || broken+=("${failed%.failed}.log")
done

pending="$root/tests/tidy_pending.txt"
[ -f "$pending" ] || pending=/dev/null
counted=$(printf '%s\n' "$findings" | awk -v list="$pending" -v stale="$logs/stale" '
  FILENAME == list {
    sub(/#.*/, ""); gsub(/^[ \t]+|[ \t]+$/, "")
    if ($0 != "") { entry[++n] = $0 }
    next
  }
  $0 == "" { next }
  {
    path = $0; sub(/:[0-9]+:[0-9]+: .*/, "", path)
    for (i = 1; i <= n; i++) {
      e = entry[i]
      if (path == e || (e ~ /\/$/ && index(path, e) == 1)) { used[i] = 1; next }
    }
    print
  }
  END { for (i = 1; i <= n; i++) if (!used[i]) print entry[i] > stale }' "$pending" -)

if [ -s "$logs/stale" ]; then
  echo "clean now, to be taken out of tests/tidy_pending.txt:"
  sed 's/^/  /' "$logs/stale"
fi
if [ ${#broken[@]} -gt 0 ]; then
  for log in "${broken[@]}"; do
    echo "clang-tidy failed:"
    cat "$log"
  done
  exit 1
fi
if [ -n "$counted" ]; then
  printf '%s\n' "$counted"
  echo "$(printf '%s\n' "$counted" | wc -l) clang-tidy findings in ${#files[@]} sources and their headers"
  exit 1
fi
echo "ok - ${#files[@]} sources and their headers pass clang-tidy"
