#!/bin/sh
# kavro-cli.exe downloads the built-in image into the simulated device behind
# KAVRO_TEST_COM (run under Wine by scripts/test-windows.sh); the device must
# store exactly the image's data.
# Usage: cli_download.sh EMULATOR KAVRO-CLI BUILTIN.fw   (exit 77: skipped)
set -eu
emulator=$1
cli=$2
image=$3
if [ -z "${KAVRO_TEST_COM:-}" ] || [ -z "${KAVRO_TEST_SAVED_IMAGE_HOST:-}" ]; then
  echo "skipped: KAVRO_TEST_COM and KAVRO_TEST_SAVED_IMAGE_HOST name no simulated device"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$KAVRO_TEST_SAVED_IMAGE_HOST"
if ! $emulator "$cli" download --port "$KAVRO_TEST_COM" > "$work/out" 2> "$work/err"; then
  cat "$work/out" "$work/err"
  echo "kavro-cli download failed" >&2
  exit 1
fi
grep -q "Firmware was downloaded successfuly" "$work/out" || { cat "$work/out"; exit 1; }
# The data follow the 128-byte header; its length is the little-endian u32 at offset 4.
length=$(od -An -tu4 -j4 -N4 "$image" | tr -d ' ')
tail -c +129 "$image" | head -c "$length" > "$work/expected"
cmp "$work/expected" "$KAVRO_TEST_SAVED_IMAGE_HOST"
echo "kavro-cli stored $length bytes byte-exact on $KAVRO_TEST_COM"
