#!/usr/bin/env bash
# The installed documentation: the README, the command line's README and
# docs/ under /usr/share/doc/kavro, and man pages that man renders with the
# sections a reader looks for; kavro-sim --version answers as its page says.
# Usage: installed_docs.sh (after the package is installed)
set -euo pipefail
fail() { echo "package docs: $*" >&2; exit 1; }

doc=/usr/share/doc/kavro
for file in README.md cli-README.md docs/RECORDS.md docs/SIGNING.md docs/API.md docs/PACKAGING.md; do
  [ -s "$doc/$file" ] || fail "$doc/$file is missing"
done
# The pictures the README shows are there too.
for picture in $(grep -o 'docs/[A-Za-z0-9_.-]*\.png' "$doc/README.md" | sort -u); do
  [ -s "$doc/$picture" ] || fail "$doc/$picture (shown in the README) is missing"
done

# render PAGE: the page as man shows it, plain text.
render() { MANWIDTH=100 man -l "/usr/share/man/man1/$1.1.gz" 2>&1 | col -bx; }

expect_sections() {
  local page=$1 text section
  shift
  text=$(render "$page")
  for section in NAME SYNOPSIS DESCRIPTION "$@"; do
    grep -q "^$section\$" <<<"$text" || fail "$page(1) has no section $section"
  done
}
expect_sections kavro OPTIONS "EXIT STATUS" ENVIRONMENT FILES
expect_sections kavro-cli COMMANDS "STATION EVENTS" "UNIT RECORDS" "EXIT STATUS" ENVIRONMENT FILES
expect_sections kavro-sim OPTIONS "EXIT STATUS"

cli=$(render kavro-cli)
# A subsection per subcommand, each exit status, the events and the records' columns.
for subcommand in ports info identify download reset pack keygen sign records station; do
  grep -qE "^   $subcommand( |\$)" <<<"$cli" || fail "kavro-cli(1) has no subsection for $subcommand"
done
for word in unit-finished record-stored summary chip_id image_sha256 order_id 130 KAVRO_LANG records.sqlite; do
  grep -q -- "$word" <<<"$cli" || fail "kavro-cli(1) does not mention $word"
done
# No warnings from groff: nothing run together or lost.
warnings=$(for page in kavro kavro-cli kavro-sim; do man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null; done)
[ -z "$warnings" ] || fail "man warns: $warnings"

version=$(kavro-sim --version)
[[ $version == "kavro-sim "[0-9]* ]] || fail "kavro-sim --version printed '$version'"
grep -qF "${version#kavro-sim }" <<<"$(render kavro-sim)" || fail "kavro-sim(1) shows another version than $version"
echo "ok: documents in $doc, man pages kavro, kavro-cli, kavro-sim with their sections, $version"
