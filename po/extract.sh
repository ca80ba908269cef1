#!/usr/bin/env bash
# Extracts the person-facing texts of the code into a catalogue template.
#   po/extract.sh [OUTPUT]     (default: po/kavro.pot)
# The markers: _() (wxWidgets), Tr() (translated where it stands), KTEXT()
# (marked only; translated where it is shown), wxTRANSLATE(), wxPLURAL().
# Locations name the file only, so that moving code does not touch the template.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/po/kavro.pot}
cd "$root"
mapfile -t sources < <(find cli image lang link records res station ui web \
  \( -name '*.cpp' -o -name '*.h' \) -print 2>/dev/null | LC_ALL=C sort)
xgettext --language=C++ --from-code=UTF-8 --add-comments=TRANSLATORS: \
  --keyword=_ --keyword=Tr --keyword=KTEXT --keyword=wxTRANSLATE --keyword=wxPLURAL:1,2 \
  --add-location=file --sort-by-file --package-name=KAVRO --msgid-bugs-address="KAVRO issue tracker" \
  --copyright-holder="KAVRO's authors" --output="$out" "${sources[@]}"
# The creation date changes on every run; the template keeps a fixed one.
sed -i 's/^"POT-Creation-Date: .*\\n"$/"POT-Creation-Date: 2026-01-01 00:00+0000\\n"/' "$out"
