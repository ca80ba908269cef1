#!/bin/sh
# kavro-cli.exe under Wine (run by scripts/test-windows.sh), against the
# simulated device behind KAVRO_TEST_COM:
#   info of the built-in image          status 0, its length, "(matches)"
#   download of the built-in image      status 0 with the bare port name (COMn);
#                                       the device stores exactly the image's data
#   a COM port mapped to nothing        status 2, the port message and its hint
#   Ctrl+C while waiting on a silent    status 130 and a clean stop (Wine turns
#   port                                SIGINT into CTRL_C_EVENT; the silent port
#                                       is a socat pseudo-terminal pair on COM13)
#   pack, info of the result, pack      Windows file semantics: an existing output
#   again with and without --overwrite  is refused (status 1) or replaced (status 0)
#   KAVRO_LANG=de                       the port failure and a download's progress
#                                       in German from the build's kavro.mo; --json
#                                       byte for byte the English run's
#   a damaged kavro.mo (KAVRO_LOCALEDIR) English with a warning, no crash
#   a folder named "Firmware wörk/固件"  info, download (byte-exact) and pack -o of
#                                       files there, named whole and relative
#   LANG=de_DE.UTF-8 (no KAVRO_LANG)    German too: Wine makes the Unix locale the
#                                       user's display language (a de_DE locale is
#                                       compiled with localedef when it can be)
# Windows programs end their lines with CR LF; the checks compare lines without
# the CR.
# Usage: cli_download.sh EMULATOR KAVRO-CLI BUILTIN.fw   (exit 77: skipped)
set -eu
# The checks run in a folder of their own: relative paths are made absolute.
absolute() { case $1 in /* | "") echo "$1" ;; */*) echo "$PWD/$1" ;; *) echo "$1" ;; esac; }
emulator=$(absolute "$1")
cli=$(absolute "$2")
image=$(absolute "$3")
if [ -z "${KAVRO_TEST_COM:-}" ] || [ -z "${KAVRO_TEST_SAVED_IMAGE_HOST:-}" ]; then
  echo "skipped: KAVRO_TEST_COM and KAVRO_TEST_SAVED_IMAGE_HOST name no simulated device"
  exit 77
fi
work=$(mktemp -d)
helper_pid=""
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  if [ -n "$helper_pid" ]; then
    kill "$helper_pid" 2>/dev/null || true
    wait "$helper_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# run NAME ARGS...: runs kavro-cli.exe; NAME.out and NAME.err hold its output
# without CRs, $status its exit status.
run() {
  name=$1
  shift
  status=0
  $emulator "$cli" "$@" > "$name.raw-out" 2> "$name.raw-err" || status=$?
  tr -d '\r' < "$name.raw-out" > "$name.out"
  tr -d '\r' < "$name.raw-err" > "$name.err"
}
fail() {
  echo "FAIL ($name): $*"
  echo "--- standard output:"; cat "$name.out"
  echo "--- standard error:"; cat "$name.err"
  exit 1
}
expect_status() { [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"; }
expect_line() { grep -qxF -- "$2" "$1" || fail "no line '$2' in $1"; }

# The image's header: data length (u32 at offset 4) and checksum (u16 at offset 2), little-endian.
length=$(od -An -tu4 -j4 -N4 "$image" | tr -d ' ')
checksum=$(od -An -tu2 -j2 -N2 "$image" | tr -d ' ')
checksum=$(printf '0x%04X' "$checksum")

run info info
expect_status 0
expect_line info.out "Data length : $length bytes"
expect_line info.out "Checksum : $checksum (matches)"
grep -q "$(printf '\r')\$" info.raw-out || fail "lines do not end with CR LF"
echo "ok: info of the built-in image ($length bytes, checksum $checksum)"

rm -f "$KAVRO_TEST_SAVED_IMAGE_HOST"
run download download --port "$KAVRO_TEST_COM"
expect_status 0
expect_line download.out "Firmware was downloaded successfuly"
expect_line download.out "Downloading: 100% ($length of $length bytes)"
[ ! -s download.err ] || fail "unexpected standard error"
tail -c +129 "$image" | head -c "$length" > expected
cmp expected "$KAVRO_TEST_SAVED_IMAGE_HOST" || fail "the device stored other data"
echo "ok: download to $KAVRO_TEST_COM stored $length bytes byte-exact"

run missing download --port COM99
expect_status 2
expect_line missing.err "COM port can not be open"
grep -q "^Port COM99: " missing.err || fail "no port detail"
grep -q "kavro-cli ports" missing.err || fail "no hint"
echo "ok: a COM port mapped to nothing ends with status 2"

if [ -z "${WINEPREFIX:-}" ] || ! command -v socat > /dev/null; then
  echo "not checked: Ctrl+C (needs socat and WINEPREFIX for a silent port)"
else
  silent="$WINEPREFIX/dosdevices/com13"
  rm -f "$silent"
  socat pty,raw,echo=0,link="$silent" pty,raw,echo=0 &
  helper_pid=$!
  for _ in $(seq 50); do
    [ -L "$silent" ] && break
    sleep 0.1
  done
  [ -L "$silent" ] || { echo "FAIL: socat made no silent port"; exit 1; }
  name=interrupt
  status=0
  $emulator "$cli" identify --port COM13 --timeout 60 --trace > interrupt.raw-out 2> interrupt.raw-err &
  cli_pid=$!
  # The first frame sent (traced on standard error) shows the link running.
  for _ in $(seq 300); do
    grep -q ' ms -> ' interrupt.raw-err && break
    sleep 0.1
  done
  kill -INT "$cli_pid"
  wait "$cli_pid" || status=$?
  tr -d '\r' < interrupt.raw-out > interrupt.out
  tr -d '\r' < interrupt.raw-err > interrupt.err
  kill "$helper_pid" 2>/dev/null || true
  wait "$helper_pid" 2>/dev/null || true
  helper_pid=""
  rm -f "$silent"
  expect_status 130
  grep -q ' ms -> ' interrupt.err || fail "the link sent nothing"
  expect_line interrupt.err "Interrupted: the link was stopped and COM13 closed."
  echo "ok: Ctrl+C stops the link cleanly with status 130"
fi

head -c 3000 expected > data.bin
run pack pack --name "Packed under Wine" --sw 1.02 --hw-lowest 1.00 --hw-highest 2.00 data.bin -o packed.fw
expect_status 0
run packed-info info packed.fw
expect_status 0
expect_line packed-info.out "Name : Packed under Wine"
expect_line packed-info.out "Data length : 3000 bytes"
tail -c +129 packed.fw | cmp - data.bin || fail "packed data differ"
cp packed.fw first.fw
head -c 2000 expected > data.bin
run pack-again pack --name "Packed again" --sw 1.03 --hw-lowest 1.00 --hw-highest 2.00 data.bin -o packed.fw
expect_status 1
expect_line pack-again.err "packed.fw exists; --overwrite replaces it"
cmp packed.fw first.fw || fail "a refused pack changed the file"
run overwrite pack --name "Packed again" --sw 1.03 --hw-lowest 1.00 --hw-highest 2.00 data.bin -o packed.fw \
  --overwrite
expect_status 0
tail -c +129 packed.fw | cmp - data.bin || fail "--overwrite did not replace the file"
[ -z "$(find . -name 'packed.fw.tmp-*')" ] || fail "a temporary file was left"
echo "ok: pack writes, refuses and replaces images"

# The person's language: KAVRO_LANG, else the user's display language.
run info-json info --json
run ports-json ports --json
export KAVRO_LANG=de
run info-json-de info --json
run ports-json-de ports --json
cmp info-json.raw-out info-json-de.raw-out || fail "info --json differs in German"
cmp ports-json.raw-out ports-json-de.raw-out || fail "ports --json differs in German"
run missing-de download --port COM99
expect_status 2
expect_line missing-de.err "COM-Anschluss kann nicht geöffnet werden"
grep -q "^Anschluss COM99: " missing-de.err || fail "no German port detail"
grep -q "^Hinweis: 'kavro-cli ports' listet" missing-de.err || fail "no German hint"
run download-de download --port "$KAVRO_TEST_COM" packed.fw
expect_status 0
expect_line download-de.out "Herunterladen: 100 % (2000 von 2000 Bytes)"
expect_line download-de.out "Die Firmware wurde erfolgreich heruntergeladen"
# The header's translation pointed far beyond the end of the catalogue.
mkdir -p damaged/de/LC_MESSAGES
catalogue=damaged/de/LC_MESSAGES/kavro.mo
cp "$(dirname "$cli")/../share/locale/de/LC_MESSAGES/kavro.mo" "$catalogue"
translations=$(od -An -tu4 -j16 -N4 "$catalogue" | tr -d ' ')
printf '\360\377\377\177\360\377\377\377' | dd of="$catalogue" bs=1 seek="$translations" conv=notrunc 2>/dev/null
KAVRO_LOCALEDIR="Z:$PWD/damaged"
export KAVRO_LOCALEDIR
run damaged download --port COM99
unset KAVRO_LOCALEDIR
expect_status 2
expect_line damaged.err "COM port can not be open"
grep -q "^Warning: The catalogue .*kavro.mo cannot be used" damaged.err || fail "no warning"
unset KAVRO_LANG
echo "ok: KAVRO_LANG=de gives German messages and progress, the same JSON; a damaged catalogue English"

# Names the ANSI code page cannot spell: Wine hands the command line over
# as Windows would, wide (read as UTF-8 in a UTF-8 locale).
saved_lc_all=${LC_ALL-}
LC_ALL=C.UTF-8
export LC_ALL
folder="$work/Firmware wörk/固件"
mkdir -p "$folder"
cp "$image" "$folder/pump.fw"
win_folder="Z:$(printf '%s' "$folder" | tr / '\134')"
run wide-info info "$win_folder\\pump.fw"
expect_status 0
expect_line wide-info.out "File path : $win_folder\\pump.fw"
expect_line wide-info.out "Checksum : $checksum (matches)"
rm -f "$KAVRO_TEST_SAVED_IMAGE_HOST"
run wide-download download --port "$KAVRO_TEST_COM" "$win_folder\\pump.fw"
expect_status 0
cmp expected "$KAVRO_TEST_SAVED_IMAGE_HOST" || fail "the device stored other data"
head -c 1000 expected > "$folder/data.bin"
cd "$folder"
run wide-pack pack --name "Wide" --sw 1.00 --hw-lowest 1.00 --hw-highest 2.00 data.bin -o "gepackt-包.fw"
expect_status 0
tail -c +129 "gepackt-包.fw" | cmp - data.bin || fail "pack -o wrote no image in the folder"
cd "$work"
if [ -n "$saved_lc_all" ]; then LC_ALL=$saved_lc_all; else unset LC_ALL; fi
echo "ok: info, download and pack -o in a folder named with German and Chinese characters"

locales=$(mktemp -d)
if [ -n "$emulator" ] && (unset LC_ALL LC_MESSAGES; localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8") > /dev/null 2>&1; then
  name=missing-lang
  status=0
  # shellcheck disable=SC2086  # the emulator is empty on Windows itself, as in run
  env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LOCPATH="$locales" LANG=de_DE.UTF-8 $emulator "$cli" download \
    --port COM99 > "$name.raw-out" 2> "$name.raw-err" || status=$?
  tr -d '\r' < "$name.raw-err" > "$name.err"
  tr -d '\r' < "$name.raw-out" > "$name.out"
  rm -rf "$locales"
  expect_status 2
  expect_line missing-lang.err "COM-Anschluss kann nicht geöffnet werden"
  echo "ok: LANG=de_DE.UTF-8 gives German through the display language"
else
  rm -rf "$locales"
  echo "not checked: LANG=de_DE.UTF-8 (needs Wine, and localedef with the locales package)"
fi
