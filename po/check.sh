#!/usr/bin/env bash
# Fails when the catalogues do not fit the code:
#   - the template po/kavro.pot differs from what the code's marked texts give
#     (a new or changed person-facing text that was not extracted);
#   - a catalogue does not compile under msgfmt --check (a placeholder lost,
#     added or changed in a translation, a broken header);
#   - a catalogue lacks a text of the template, or holds an untranslated or
#     fuzzy one.
#   po/check.sh [ROOT]   (default: this repository)
# po/update.sh brings the template and the catalogues up to date.
set -uo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

"$root/po/extract.sh" "$work/kavro.pot" || exit 1
if ! diff -u "$root/po/kavro.pot" "$work/kavro.pot" >"$work/template.diff"; then
  echo "po/kavro.pot is out of date with the code (run po/update.sh, then translate):"
  cat "$work/template.diff"
  status=1
fi

shopt -s nullglob
catalogues=("$root"/po/*.po)
[ ${#catalogues[@]} -gt 0 ] || { echo "no catalogues in po/"; exit 1; }
for po in "${catalogues[@]}"; do
  name=po/$(basename "$po")
  if ! msgfmt --check --statistics -o /dev/null "$po" 2>"$work/msgfmt.log"; then
    echo "$name does not pass msgfmt --check:"; cat "$work/msgfmt.log"; status=1; continue
  fi
  if grep -Eq 'untranslated|fuzzy' "$work/msgfmt.log"; then
    echo "$name is incomplete: $(cat "$work/msgfmt.log")"; status=1
  fi
  if ! msgcmp "$po" "$work/kavro.pot" 2>"$work/msgcmp.log"; then
    echo "$name lacks texts of the code:"; cat "$work/msgcmp.log"; status=1
  fi
done
[ $status -eq 0 ] && echo "template current; ${#catalogues[@]} catalogues complete and checked"
exit $status
