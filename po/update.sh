#!/usr/bin/env bash
# Extracts the template from the code and merges it into every catalogue.
# New texts arrive untranslated, changed ones fuzzy: translate them, remove
# the fuzzy marks, and po/check.sh passes again.
set -euo pipefail
po=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$po/extract.sh" "$po/kavro.pot"
for catalogue in "$po"/*.po; do
  msgmerge --quiet --update --backup=none "$catalogue" "$po/kavro.pot"
done
