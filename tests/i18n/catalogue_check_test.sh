#!/usr/bin/env bash
# The catalogue check catches what it is there for: on a copy of the sources,
# a new marked text makes the template stale, and a translation that drops a
# placeholder fails msgfmt --check. The untouched copy passes.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for dir in po cli image lang link records res station ui web; do
  [ -d "$root/$dir" ] && cp -r "$root/$dir" "$copy/$dir"
done
"$copy/po/check.sh" "$copy" >"$copy/out.log" 2>&1 || { cat "$copy/out.log"; fail "the untouched copy does not pass"; }

printf '\nconst char* NewText() { return Tr("A text nobody extracted"); }\n' >>"$copy/cli/commands.cpp"
if "$copy/po/check.sh" "$copy" >"$copy/out.log" 2>&1; then fail "a new text passed unnoticed"; fi
grep -q 'kavro.pot is out of date' "$copy/out.log" || { cat "$copy/out.log"; fail "no word of the stale template"; }
grep -q 'A text nobody extracted' "$copy/out.log" || { cat "$copy/out.log"; fail "the new text is not named"; }
cp "$root/cli/commands.cpp" "$copy/cli/commands.cpp"

# A translation that lost one of its two placeholders.
sed -i 's/^msgstr "Anschluss %s: %s"$/msgstr "Anschluss %s"/' "$copy/po/de.po"
grep -q '^msgstr "Anschluss %s"$' "$copy/po/de.po" || fail "the test could not damage po/de.po"
if "$copy/po/check.sh" "$copy" >"$copy/out.log" 2>&1; then fail "a lost placeholder passed unnoticed"; fi
grep -q 'de.po does not pass msgfmt --check' "$copy/out.log" || { cat "$copy/out.log"; fail "no word of the placeholder"; }
echo "the check catches a stale template and a lost placeholder"
