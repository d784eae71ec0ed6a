#!/usr/bin/env bash
# The bash completion the build made, called as bash calls it on Tab:
# options, their values, chart files and folders. The zsh completion reads.
#   completion_test.sh PROGRAM BASH_COMPLETION ZSH_COMPLETION FROM_HELP_SCRIPT
set -u
program="$1"
bash_completion="$2"
zsh_completion="$3"
from_help="$4"
helpers=/usr/share/bash-completion/bash_completion
[ -r "$helpers" ] || { echo "skipped - bash-completion is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi; }

# What Tab offers after the words given (the last one being completed), one a line, sorted.
complete_words() {
  (
    cd "$work/charts" || exit 1
    # shellcheck disable=SC1090
    source "$helpers" > /dev/null 2>&1
    # shellcheck disable=SC1090
    source "$bash_completion"
    COMP_WORDS=(tappoplayer "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tappoplayer tappoplayer "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
  )
}
mkdir -p "$work/charts/pack"
touch "$work/charts/song.bms" "$work/charts/LOUD.BME" "$work/charts/wide.pms" "$work/charts/x.bmson" \
  "$work/charts/notes.txt" "$work/charts/mix.wav"

[ "$(complete_words --la)" = "--lanes" ]
check "an option completes" $?
[ "$(complete_words --lanes '')" = "$(printf 'arrows\nkeys')" ]
check "--lanes offers keys and arrows" $?
[ "$(complete_words '')" = "$(printf 'LOUD.BME\npack\nsong.bms\nwide.pms\nx.bmson')" ]
check "CHART offers chart files by extension, and folders to walk into" $?
[ "$(complete_words --inspect s)" = "song.bms" ]
check "--inspect offers a chart file" $?
[ "$(complete_words --songs '')" = "pack" ]
check "--songs offers folders only" $?
[ "$(complete_words --render-wav '')" = "$(printf 'mix.wav\npack')" ]
check "--render-wav offers WAV files" $?
[ -z "$(complete_words --volume '')" ]
check "a number offers nothing" $?
diff <(complete_words -- | grep -v '^--$') <(bash "$from_help" options "$program" | cut -f1 | sort)
check "the options offered are those --help lists" $?

if command -v zsh > /dev/null; then
  zsh -n "$zsh_completion"
  check "the zsh completion reads" $?
  [ "$(grep -c "^    '" "$zsh_completion")" -eq "$(( $(bash "$from_help" options "$program" | wc -l) + 1 ))" ]
  check "the zsh completion has an entry for each option and the chart" $?
else
  echo "skipped - zsh is not installed"
fi
exit $fail
