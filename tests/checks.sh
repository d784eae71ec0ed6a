# Sourced by the shell tests: a work folder removed at the end, and `check`,
# which prints one "ok" or "FAILED" line and remembers a failure for the exit
# status (`exit $fail` at the end).
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
fail=0
check() { # description, condition result
  if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi
}
