#!/bin/bash
# kavro.exe under Wine on an X display (Xvfb, started here when DISPLAY is
# unset), driven by keys, against simulated devices in a Wine prefix of its
# own (run by scripts/test-windows.sh):
#   --version    prints "kavro VERSION" and exits 0 (no window); --help likewise
#   start-up     the window is titled "<document> - Firmware Downloader"
#   F8           the device block fills (more pixels in the device colour)
#   F9           the device stores the image byte-exact; the "Firmware
#                Downloader" box reports it
#   Help > About the "About KAVRO" box opens and closes
#   File > Exit  the port name lands in the settings file beside the program
#   restart      the recent-file list (registry) survives: File > 1 reopens
#                the file
#   Disconnect   during a slow download: the "Firmware Downloader" box, and
#                the device never sees the end of the download
#   wide names   in a folder named "Firmware wörk/固件": a file given on the
#                command line and another through File > Open
#   station      the station window on two simulated bays (COM40, COM41):
#                both tiles PASSED, both units passed in its records table
# Usage: gui_app.sh KAVRO.EXE BUILTIN.fw PREFIX-DIR, with KAVRO_TEST_SIM naming
# kavro-sim built for this machine   (exit 77: skipped)
set -eu
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@"
fi
for tool in wine xdotool import "${KAVRO_TEST_SIM:-kavro-sim-not-named}"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display (install xvfb)"; exit 77; }
app=$1 image=$2 prefix=$3 sim=$KAVRO_TEST_SIM
# shellcheck source=tests/win32/wine_gui_lib.sh
source "$(dirname "$0")/wine_gui_lib.sh"

wine_gui_begin

wine_gui_prefix "$prefix"
# The program in a folder of its own, with an empty settings file beside it:
# the port name is saved only into a file that exists.
mkdir "$work/app"
cp "$app" "$work/app/kavro.exe"
head -c 32 /dev/zero >"$work/app/kavro.exe.cfg"
cp "$image" "$work/demo.fw"

# --version and --help answer on standard output with status 0, no window.
version=$(wine "$work/app/kavro.exe" --version </dev/null 2>/dev/null | tr -d '\r') || fail "--version: status $?"
[[ $version == "kavro "[0-9]* ]] || fail "--version printed '$version'"
help=$(wine "$work/app/kavro.exe" --help </dev/null 2>/dev/null | tr -d '\r') || fail "--help: status $?"
[[ $help == *"--port"* ]] || fail "--help printed '$help'"
echo "ok: --version printed '$version'; --help printed the options"
cd "$work"
length=$(od -An -tu4 -j4 -N4 demo.fw | tr -d ' ')
tail -c +129 demo.fw | head -c "$length" >expected.bin

wine_gui_sim COM12 "$sim" sim12.log --save-image "$work/saved.bin"
# About 26 s for the image: Disconnect comes while it runs.
wine_gui_sim COM13 "$sim" sim13.log --line-rate 9600

# Pixels of the device block's colour in the window.
device_pixels() {
  import -window "$1" png:- 2>/dev/null | convert - -fill black +opaque "rgb(40,75,120)" \
    -fill white -opaque "rgb(40,75,120)" -format '%[fx:round(mean*w*h)]' info:
}

# The first run: a file named on the command line, the port given.
wine_gui_start run1.log app/kavro.exe --port COM12 demo.fw
run1=$WINE_GUI_PID
main=$(wine_gui_window "demo\.fw - Firmware Downloader" 60) || fail "no window titled 'demo.fw - Firmware Downloader'"
echo "ok: kavro.exe started, titled 'demo.fw - Firmware Downloader'"

before=$(device_pixels "$main")
wine_gui_keys "$main" F8
wine_gui_wait_line sim12.log 'identity request' 20 || fail "F8: the device was never asked"
for _ in $(seq 50); do
  after=$(device_pixels "$main")
  [ "$after" -gt $((before + 100)) ] && break
  sleep 0.2
done
[ "$after" -gt $((before + 100)) ] || fail "F8: the device block stayed empty ($before, then $after pixels)"
echo "ok: F8 connected and the device block filled ($before, then $after pixels)"

wine_gui_keys "$main" F9
box=$(wine_gui_window "Firmware Downloader" 60) || fail "F9: no 'Firmware Downloader' box"
cmp expected.bin saved.bin || fail "F9: the device stored other data"
grep -q 'end download' sim12.log || fail "F9: no end of the download"
wine_gui_keys "$box" Return
wine_gui_no_window "Firmware Downloader" 10 || fail "the box did not close"
echo "ok: F9 stored $length bytes byte-exact; the box reported it"

wine_gui_keys "$main" alt+h Return
about=$(wine_gui_window "About KAVRO" 10) || fail "Help > About opened no 'About KAVRO' box"
wine_gui_keys "$about" Escape
wine_gui_no_window "About KAVRO" 10 || fail "the About box did not close"
echo "ok: the About box opened and closed"

wine_gui_keys "$main" alt+f x
wine_gui_wait_exit "$run1" 20 || fail "File > Exit did not end the program"
printf 'COM12' | cat - /dev/zero | head -c 32 >expected.cfg
cmp expected.cfg app/kavro.exe.cfg || fail "the settings file does not hold COM12 in 32 bytes"
wine reg query 'HKCU\Software\KAVRO' 2>/dev/null | tr -d '\r' >registry.txt || true
grep -qi 'demo\.fw' registry.txt || fail "the recent-file list is not in the registry: $(cat registry.txt)"
echo "ok: File > Exit saved the port beside the program and the recent file in the registry"

# The second run: the built-in image; the recent file survives the restart.
wine_gui_start run2.log app/kavro.exe --port COM13
run2=$WINE_GUI_PID
main=$(wine_gui_window "Untitled - Firmware Downloader" 60) || fail "no window titled 'Untitled - Firmware Downloader'"
wine_gui_keys "$main" alt+f 1
wine_gui_window "demo\.fw - Firmware Downloader" 10 >/dev/null || fail "File > 1 did not reopen demo.fw"
echo "ok: after a restart the recent-file list reopened demo.fw"

wine_gui_keys "$main" F8
# The second poll comes after the first identity was answered.
wine_gui_wait_line sim13.log 'identity request' 30 2 || fail "F8 on COM13: the device was not polled"
wine_gui_keys "$main" F9
wine_gui_wait_line sim13.log 'block of' 30 || fail "F9 on COM13: no block arrived"
# Device > Disconnect: the menu opens on Connect; Up wraps round to Disconnect.
wine_gui_keys "$main" alt+d Up Return
box=$(wine_gui_window "Firmware Downloader" 15) || fail "Disconnect during the download gave no box"
grep -q 'end download' sim13.log && fail "the download ended although it was disconnected"
wine_gui_keys "$box" Return
wine_gui_no_window "Firmware Downloader" 10 || fail "the box did not close"
echo "ok: Disconnect during a download gave the 'Firmware Downloader' box"

wine_gui_keys "$main" alt+f x
wine_gui_wait_exit "$run2" 20 || fail "File > Exit did not end the second run"
echo "ok: the second run ended"

# A folder named in German and Chinese: a file given on the command line (as
# the .fw type hands it over), then another through File > Open, whose
# dialog starts in that folder (the program's working folder).
folder="$work/Firmware wörk/固件"
mkdir -p "$folder"
cp demo.fw "$folder/pump.fw"
cp demo.fw "$folder/valve.fw"
win_folder="Z:${folder//\//\\}"
cd "$folder"
# Wine reads the command line as UTF-8 in a UTF-8 locale.
LC_ALL=C.UTF-8 wine_gui_start "$work/run3.log" "$work/app/kavro.exe" --port COM12 "$win_folder\\pump.fw"
run3=$WINE_GUI_PID
cd "$work"
main=$(wine_gui_window "pump\.fw - Firmware Downloader" 60) \
  || fail "kavro.exe did not open $win_folder\\pump.fw: $(xdotool search --onlyvisible --name . getwindowname %@ 2>&1)"
wine_gui_keys "$main" ctrl+o
dialog=$(wine_gui_window "Open" 20) || fail "Ctrl+O opened no 'Open' dialog"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 50 "valve.fw"
xdotool key --delay 100 Return
wine_gui_window "valve\.fw - Firmware Downloader" 20 >/dev/null \
  || fail "File > Open did not open valve.fw in $win_folder: $(xdotool search --onlyvisible --name . getwindowname %@ 2>&1)"
echo "ok: files in a folder named with German and Chinese characters open from the command line and File > Open"
main=$(wine_gui_window "valve\.fw - Firmware Downloader" 5)
wine_gui_keys "$main" alt+f x
wine_gui_wait_exit "$run3" 20 || fail "File > Exit did not end the third run"

# The station window on two simulated bays (COM40, COM41), started
# unattended (--autorun-station), which reports its tiles and records rows:
# both tiles reach PASSED and the records table shows both units.
mkdir -p "$work/bays/save"
"$sim" --bays 2 --link-dir "$work/bays" --save-dir "$work/bays/save" -q >bays.log 2>&1 &
WINE_GUI_PIDS="$WINE_GUI_PIDS $!"
wine_gui_wait_line bays.log 'Simulated bays:' 10 || fail "kavro-sim made no bays"
station_key='HKCU\Software\KAVRO\Station'
wine reg add "$station_key" /v BayCount /t REG_DWORD /d 2 /f >/dev/null 2>&1
# The built-in image, chosen as an operator would (Station > Built-in image).
wine reg add "$station_key" /v BuiltInImage /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$station_key" /v Records /d "Z:${work//\//\\}\\station.sqlite" /f >/dev/null 2>&1
for k in 0 1; do
  ln -sfn "$(readlink -f "$work/bays/bay$k")" "$WINEPREFIX/dosdevices/com4$k"
  wine reg add "$station_key\\Bay$k" /v Port /d "COM4$k" /f >/dev/null 2>&1
  wine reg add "$station_key\\Bay$k" /v SecondCpu /t REG_DWORD /d 0 /f >/dev/null 2>&1
done
wine_gui_start run4.log app/kavro.exe --autorun-station
run4=$WINE_GUI_PID
wine_gui_wait_line run4.log '^autorun: tiles PASSED \| PASSED' 90 || fail "the tiles did not both reach PASSED"
# The table is reported again as rows arrive. Its Bay column names the bay's
# number and its port: "1 · COM40".
for bay in 1 2; do
  port=COM4$((bay - 1))
  wine_gui_wait_line run4.log "^autorun: record .* \| $bay · $port \| .* \| passed \| " 20 \
    || fail "no passed unit on $port in the records table: $(grep '^autorun: record' run4.log)"
done
chips=$(sed -n 's/^Bay [0-9] on [^:]*: chip \([0-9A-F]\{8\}\).*/\1/p' bays.log)
[ "$(printf '%s\n' "$chips" | grep -c .)" -ge 2 ] || fail "kavro-sim served fewer than two units: $chips"
for chip in $chips; do
  cmp expected.bin "$work/bays/save/unit-$chip.bin" || fail "unit $chip stored other data"
done
echo "ok: the station window on two bays: both tiles PASSED, both units passed in the records table"
kill "$run4" 2>/dev/null || true
