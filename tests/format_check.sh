#!/usr/bin/env bash
# Every C++ source follows the repository's .clang-format. The layout it
# describes is clang-format 14's (Debian 12); another version may lay out a
# few constructs differently, so the check is skipped there.
set -u
root="$1"
command -v clang-format > /dev/null || { echo "clang-format missing: skipped"; exit 0; }
version=$(clang-format --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
[ "$version" = 14 ] || { echo "clang-format $version is not 14: skipped"; exit 0; }
cd "$root" || exit 1
mapfile -t files < <(find app base bench chart effects files formats media platform play select tests tools \
  -path tests/data -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
if ! clang-format --dry-run --Werror "${files[@]}" 2> "${TMPDIR:-/tmp}/format-check.$$"; then
  grep -o '^[^:]*\.\(cpp\|h\)' "${TMPDIR:-/tmp}/format-check.$$" | sort -u | sed 's/^/not formatted: /'
  echo "run: clang-format -i on the files above"
  rm -f "${TMPDIR:-/tmp}/format-check.$$"
  exit 1
fi
rm -f "${TMPDIR:-/tmp}/format-check.$$"
echo "ok - ${#files[@]} sources follow .clang-format"
