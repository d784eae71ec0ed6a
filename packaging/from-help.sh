#!/usr/bin/env bash
# Makes the manual page and the shell completions from what the built program
# prints for --help, so that they list exactly the options it takes.
#
#   from-help.sh options PROGRAM              each option and its argument, tab-separated
#   from-help.sh man PROGRAM TEMPLATE DATE    the manual page (roff) from TEMPLATE
#   from-help.sh bash PROGRAM TEMPLATE        the bash completion from TEMPLATE
#   from-help.sh zsh PROGRAM TEMPLATE         the zsh completion from TEMPLATE
#
# The help is read in the C locale, the program's own texts. Its layout: the
# usage line, a blank line, the description, "Options:", then one option a
# line ("  --name ARGUMENT   what it does") with its text continued on lines
# indented further, up to the next blank line.
set -euo pipefail
mode="$1"
program="$2"
help=$(env -u LANGUAGE LC_ALL=C "$program" --help)

# One record a line: option, argument and text (continuations joined),
# separated by the ASCII unit separator (a tab, being white space to `read`,
# would let an empty argument vanish).
sep=$'\x1f'
records() {
  awk -v OFS="$sep" '
    /^Options:/ { inside = 1; next }
    inside && /^$/ { exit }
    inside && /^  -/ {
      if (name != "") print name, arg, text
      line = substr($0, 3)
      split(line, parts, /  +/)
      n = split(parts[1], words, " ")
      name = words[1]; arg = (n > 1) ? words[2] : ""
      text = substr(line, length(parts[1]) + 1); sub(/^ +/, "", text)
      next
    }
    inside { t = $0; sub(/^ +/, "", t); text = text " " t }
    END { if (name != "") print name, arg, text }
  ' <<< "$help"
}

if [ -z "$(records)" ]; then
  echo "$0: no options found in the output of $program --help" >&2
  exit 1
fi

# The description: the paragraph between the usage line and "Options:".
description() {
  awk 'NR > 2 && /^Options:/ { exit } NR > 2 && NF { print }' <<< "$help"
}

# Roff text: backslashes kept, the hyphens of options as minus signs (so that
# they copy as typed), no line taken for a request.
roff() {
  perl -pe 's/\\/\\e/g;
    s/(?<![A-Za-z0-9])(--[a-z][a-z0-9-]*)/(my $o = $1) =~ s|-|\\-|g; $o/ge;
    s/^([.\x27])/\\&$1/'
}

options_roff() {
  local name arg text
  while IFS=$sep read -r name arg text; do
    echo ".TP"
    if [ -n "$arg" ]; then
      printf '.BI "%s " "%s"\n' "$(roff <<< "$name")" "${arg//-/\\-}"
    else
      printf '.B %s\n' "$(roff <<< "$name")"
    fi
    roff <<< "$text"
  done < <(records)
}

# Fills the template: @NAME@ lines and words from the arguments given as
# NAME=FILE (a file's whole text replaces its line) or NAME:=TEXT.
fill() {
  local template="$1"
  shift
  awk -v pairs="$(printf '%s\n' "$@")" '
    BEGIN {
      n = split(pairs, list, "\n")
      for (i = 1; i <= n; i++) {
        if ((p = index(list[i], ":=")) > 0) word[substr(list[i], 1, p - 1)] = substr(list[i], p + 2)
        else if ((p = index(list[i], "=")) > 0) file[substr(list[i], 1, p - 1)] = substr(list[i], p + 1)
      }
    }
    /^@[A-Z_]+@$/ {
      key = substr($0, 2, length($0) - 2)
      if (key in file) { while ((getline l < file[key]) > 0) print l; close(file[key]); next }
    }
    {
      for (key in word) gsub("@" key "@", word[key])
      print
    }
  ' "$template"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What an option's argument is, by the name --help gives it.
kind() {
  case "$1" in
    "") echo none ;;
    CHART) echo chart ;;
    DIR) echo folder ;;
    *.wav) echo wav ;;
    *"|"*) echo words ;;
    *) echo other ;;
  esac
}

case "$mode" in
  options)
    records | cut -d "$sep" -f1,2 | tr "$sep" '\t'
    ;;
  man)
    template="$3"
    date="$4"
    description | roff > "$work/description"
    options_roff > "$work/options"
    version=$("$program" --version)
    fill "$template" DESCRIPTION="$work/description" OPTIONS="$work/options" \
      "DATE:=$date" "VERSION:=$version"
    ;;
  bash)
    template="$3"
    all=() chart=() folder=() wav=() other=()
    : > "$work/words"
    while IFS=$sep read -r name arg _; do
      all+=("$name")
      k=$(kind "$arg")
      case "$k" in
        chart) chart+=("$name") ;;
        folder) folder+=("$name") ;;
        wav) wav+=("$name") ;;
        words) printf '        %s) COMPREPLY=($(compgen -W '"'%s'"' -- "$cur")); return ;;\n' \
                 "$name" "${arg//|/ }" >> "$work/words" ;;
        other) other+=("$name") ;;
      esac
    done < <(records)
    # A group without options gets a pattern no word matches.
    join() { local IFS="$1"; shift; if [ $# -gt 0 ]; then echo "$*"; else echo "''"; fi; }
    fill "$template" WORD_VALUES="$work/words" "OPTIONS:=${all[*]}" \
      "CHART_OPTIONS:=$(join '|' "${chart[@]}")" "FOLDER_OPTIONS:=$(join '|' "${folder[@]}")" \
      "WAV_OPTIONS:=$(join '|' "${wav[@]}")" "OTHER_OPTIONS:=$(join '|' "${other[@]}")"
    ;;
  zsh)
    template="$3"
    : > "$work/option-lines"
    while IFS=$sep read -r name arg text; do
      # The first sentence of the text, without the characters zsh reads in an option line.
      brief=$(sed -e 's/[.;(].*//' -e 's/ *$//' <<< "$text" | tr -d "][:'\\\\")
      case "$name" in --songs | --screenshot) repeat='*' ;; *) repeat='' ;; esac
      case "$(kind "$arg")" in
        none) action='' ;;
        chart) action=":chart:_tappoplayer_charts" ;;
        folder) action=":folder:_files -/" ;;
        wav) action=':WAV file:_files -g "*.(#i)wav(-.)"' ;;
        words) action=":${arg}:(${arg//|/ })" ;;
        *) action=":${arg//:/\\:}: " ;;
      esac
      printf "    '%s%s[%s]%s' \\\\\n" "$repeat" "$name" "$brief" "$action" >> "$work/option-lines"
    done < <(records)
    fill "$template" OPTION_LINES="$work/option-lines"
    ;;
  *)
    echo "usage: $0 options|man|bash|zsh PROGRAM [TEMPLATE [DATE]]" >&2
    exit 2
    ;;
esac
