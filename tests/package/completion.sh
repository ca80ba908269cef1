#!/usr/bin/env bash
# The installed bash completion of kavro-cli: subcommands, a subcommand's
# options, and port names as `kavro-cli ports` lists them.
# Usage: completion.sh [COMPLETION_FILE] (default: the installed one)
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "${1:-/usr/share/bash-completion/completions/kavro-cli}"

# complete_line WORDS...: the completions of the last word.
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _kavro_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
fail() { echo "completion: $*" >&2; exit 1; }

[ "$(complete_line kavro-cli do)" = "download" ] || fail "'do' does not complete to download"
subcommands=$(complete_line kavro-cli "")
for word in ports info identify download reset pack; do
  grep -qxF "$word" <<<"$subcommands" || fail "subcommand $word missing: $subcommands"
done
options=$(complete_line kavro-cli download --)
for word in --port --force --reset --timeout --help; do
  grep -qxF -- "$word" <<<"$options" || fail "download option $word missing: $options"
done
grep -qxF -- "--name" <<<"$options" && fail "download offers pack's --name"
[ "$(complete_line kavro-cli --v)" = "--version" ] || fail "'--v' does not complete to --version"
expected=$(kavro-cli ports 2>/dev/null | awk '{ print $1 }' | sort)
[ "$(complete_line kavro-cli identify --port "")" = "$expected" ] || fail "port names differ from kavro-cli ports"

# In a folder with an image beside other files, a station's --bay still
# offers ports, and its image place offers the image.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/pump.fw" "$folder/notes.txt"
cd "$folder" || fail "cannot enter $folder"
[ "$(complete_line kavro-cli station --bay "")" = "$expected" ] || fail "station --bay offers no ports"
[ "$(complete_line kavro-cli station --bay /dev/ttyS0 "")" = "pump.fw" ] || fail "station offers no image"
[ "$(complete_line kavro-cli sign "")" = "pump.fw" ] || fail "sign offers no image"
echo "completion offers subcommands, options, the ports of kavro-cli ports and images"
