#!/usr/bin/env bash
# The manual page the build made lists every option --help lists, and no
# other, carries what --version prints, and renders without a warning.
#   manual_test.sh PROGRAM MANUAL_PAGE FROM_HELP_SCRIPT
set -u
program="$1"
page="$2"
from_help="$3"
fail=0
check() { if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi; }

# Each option stands at the head of an entry, with its argument as --help
# names it: ".B \-\-name" or '.BI "\-\-name " "ARGUMENT"'.
mapfile -t options < <(bash "$from_help" options "$program")
[ "${#options[@]}" -ge 15 ]
check "--help lists the options (${#options[@]})" $?
for line in "${options[@]}"; do
  name=${line%%$'\t'*}
  arg=${line#*$'\t'}
  roff_name=${name//-/\\-}
  if [ -n "$arg" ]; then
    grep -qxF ".BI \"$roff_name \" \"${arg//-/\\-}\"" "$page"
  else
    grep -qxF ".B $roff_name" "$page"
  fi
  check "the manual page lists $name${arg:+ $arg}" $?
done
entries=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | grep -c '^\.TP')
[ "$entries" -eq "${#options[@]}" ]
check "its options are those of --help, no more ($entries)" $?
# The keys, the settings, the files and the exit codes are there too.
for section in KEYS SETTINGS FILES 'EXIT STATUS'; do
  grep -qx "\.SH $section" "$page"
  check "it has the section $section" $?
done
version=$("$program" --version)
grep -q "^\.TH TAPPOPLAYER 6 \"[0-9-]*\" \"$version\"" "$page"
check "its header carries \"$version\"" $?

if ! command -v groff > /dev/null; then
  echo "skipped - groff is not installed"
  exit 77
fi
warnings=$(groff -ww -man -Tutf8 "$page" 2>&1 > /dev/null)
[ -z "$warnings" ]
check "groff renders it without a warning" $?
[ -n "$warnings" ] && echo "$warnings"
exit $fail
