#!/usr/bin/env bash
# Brings po/en.po up to date with the texts in the sources (every Tr() and
# ForCatalogue() text): new texts are added with their msgid as the English
# (give the English of a Japanese one by hand), texts gone are dropped.
#   bash po/update.sh
set -euo pipefail
cd "$(dirname "$0")/.."
pot=$(mktemp)
trap 'rm -f "$pot"' EXIT
git ls-files '*.cpp' '*.h' | grep -v '^tests/' |
  xargs grep -l 'Tr(\|ForCatalogue(' |
  xargs xgettext --from-code=UTF-8 -C --keyword=Tr --keyword=ForCatalogue --no-location \
    --sort-output --package-name=tappoplayer -o "$pot" 2> /dev/null
msgmerge --quiet --update --backup=none --no-fuzzy-matching --no-location --sort-output po/en.po "$pot"
msgattrib --no-obsolete -o po/en.po po/en.po
msgen --no-location --sort-output po/en.po -o po/en.po
msgfmt --check -o /dev/null po/en.po
