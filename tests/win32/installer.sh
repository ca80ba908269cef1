#!/bin/bash
# The Windows installer under Wine (run by scripts/test-windows.sh), on an X
# display (Xvfb, started here when DISPLAY is unset), in the Wine prefix of the
# application's tests:
#   silent install   kavro.exe, kavro-cli.exe and the uninstaller in
#                    C:\Program Files\KAVRO, an empty settings file beside
#                    kavro.exe (32 zero bytes), the Start-menu shortcut, the
#                    Apps & features entry, .fw files opening in KAVRO as
#                    "KAVRO firmware image"
#   upgrade          installing again (silently, /PATH=all) over a copy whose
#                    settings file holds a port keeps that file as it was, and
#                    puts bin\ on the machine's PATH
#   kavro-cli.exe    the installed one shows the image's header (status 0),
#                    and speaks German (KAVRO_LANG) from the installed catalogues;
#                    station --once stores the image on a simulated device
#                    (KAVRO_TEST_SIM) and records it as passed
#   kavro.exe        opened once through the .fw type (the file in a folder named
#                    with German and Chinese characters), titled with the file
#   silent uninstall nothing of it is left: files, shortcut, entry, file type,
#                    the PATH entry
# Usage: installer.sh KAVRO-VERSION-win64.exe BUILTIN.fw PREFIX-DIR   (exit 77: skipped)
set -eu
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@"
fi
for tool in wine xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display (install xvfb)"; exit 77; }
[ -f "$1" ] || { echo "skipped: no installer $1 (cpack -G NSIS makes it)"; exit 77; }
installer=$1 image=$2 prefix=$3
# shellcheck source=tests/win32/wine_gui_lib.sh
source "$(dirname "$0")/wine_gui_lib.sh"

wine_gui_begin

wine_gui_prefix "$prefix"
dir="$WINEPREFIX/drive_c/Program Files/KAVRO"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KAVRO"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KAVRO'
# reg_value KEY [VALUE]: the registry's answer without CRs, empty when the
# key or value is missing (reg then says so on standard output, status 1).
reg_value() {
  local answer
  if [ $# -gt 1 ]; then
    answer=$(wine reg query "$1" /v "$2" 2>/dev/null) || return 0
  else
    answer=$(wine reg query "$1" /ve 2>/dev/null) || return 0
  fi
  printf '%s\n' "$answer" | tr -d '\r'
}

wine "$installer" /S </dev/null >"$work/install.log" 2>&1 || fail "the installer ended with status $?"
for file in bin/kavro.exe bin/kavro-cli.exe Uninstall.exe; do
  [ -f "$dir/$file" ] || fail "$file was not installed"
done
head -c 32 /dev/zero | cmp - "$dir/bin/kavro.exe.cfg" || fail "no empty settings file beside kavro.exe"
[ -f "$menu/KAVRO.lnk" ] || fail "no Start-menu shortcut: $(ls "$menu" 2>&1)"
reg_value "$uninstall_key" DisplayName | grep -q "KAVRO" || fail "no Apps & features entry"
reg_value "$uninstall_key" UninstallString | grep -qi 'Uninstall.exe' || fail "the entry names no uninstaller"
reg_value 'HKLM\Software\Classes\.fw' | grep -q 'KAVRO.Document' || fail ".fw is not KAVRO's type"
reg_value 'HKLM\Software\Classes\KAVRO.Document\shell\open\command' | grep -qi 'bin\\kavro.exe" "%1"' \
  || fail "KAVRO's type does not open kavro.exe"
reg_value 'HKLM\Software\Classes\KAVRO.Document' | grep -q 'KAVRO firmware image' || fail "the type is not named for firmware images"
echo "ok: the silent install made the programs, the shortcut, the Apps & features entry and the .fw type"

# The user's port in the settings file survives an upgrade (here the same
# installer again), which also puts the programs' folder on PATH.
env_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
reg_value "$env_key" PATH | grep -qi 'KAVRO\\bin' && fail "bin\\ is on PATH before anyone asked"
{ printf 'COM7'; head -c 28 /dev/zero; } > "$work/port.cfg"
cp "$work/port.cfg" "$dir/bin/kavro.exe.cfg"
wine "$installer" /S /PATH=all </dev/null >"$work/upgrade.log" 2>&1 || fail "the upgrade ended with status $?"
cmp "$work/port.cfg" "$dir/bin/kavro.exe.cfg" || fail "the upgrade changed the settings file: $(od -c "$dir/bin/kavro.exe.cfg")"
[ -f "$dir/bin/kavro-cli.exe" ] || fail "the upgrade left no kavro-cli.exe"
reg_value "$env_key" PATH | grep -qi 'Program Files\\KAVRO\\bin' || fail "/PATH=all put nothing on PATH: $(reg_value "$env_key" PATH)"
echo "ok: an upgrade keeps the port in the settings file; /PATH=all puts bin\\ on PATH"

cp "$image" "$work/demo.fw"
cd "$work"
status=0
wine "$dir/bin/kavro-cli.exe" info demo.fw >cli.out 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the installed kavro-cli.exe info ended with status $status: $(cat cli.out)"
grep -q '^Data length : [0-9]* bytes' cli.out || fail "kavro-cli.exe info showed no header: $(cat cli.out)"
echo "ok: the installed kavro-cli.exe shows the image"
for lang in de zh_CN; do
  [ -f "$dir/share/locale/$lang/LC_MESSAGES/kavro.mo" ] || fail "no $lang catalogue in share\\locale"
done
status=0
KAVRO_LANG=de wine "$dir/bin/kavro-cli.exe" info none.fw >cli-de.out 2>&1 || status=$?
[ "$status" -eq 5 ] || fail "kavro-cli.exe info none.fw ended with status $status: $(cat cli-de.out)"
grep -q '^Abbild nicht verwendbar: none.fw' cli-de.out || fail "the installed kavro-cli.exe is not German: $(cat cli-de.out)"
echo "ok: the installed catalogues make kavro-cli.exe speak German"

if [ -z "${KAVRO_TEST_SIM:-}" ]; then
  echo "not checked: the installed kavro-cli.exe station (KAVRO_TEST_SIM names no simulator)"
else
  wine_gui_sim COM30 "$KAVRO_TEST_SIM" "$work/sim.log" --save-image "$work/saved.bin" || fail "no simulated device"
  status=0
  wine "$dir/bin/kavro-cli.exe" station demo.fw --bay COM30 --once --timeout 30 --records station.sqlite \
    >station.out 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "the installed kavro-cli.exe station ended with status $status: $(cat station.out)"
  length=$(od -An -tu4 -j4 -N4 demo.fw | tr -d ' ')
  tail -c +129 demo.fw | head -c "$length" | cmp - "$work/saved.bin" || fail "the device stored other data"
  if command -v sqlite3 >/dev/null; then
    [ "$(sqlite3 station.sqlite "SELECT port || ' ' || result FROM unit_records")" = "COM30 passed" ] \
      || fail "records: $(sqlite3 station.sqlite "SELECT port, result FROM unit_records")"
  fi
  echo "ok: the installed kavro-cli.exe station --once stored the image on a simulated device and recorded it"
fi

# The shell opens the file with the program its type names, here in a
# folder named with German and Chinese characters (a UTF-8 locale lets Wine
# read the name whole).
mkdir -p "$work/Firmware wörk/固件"
cp demo.fw "$work/Firmware wörk/固件/demo.fw"
LC_ALL=C.UTF-8 wine start /unix "$work/Firmware wörk/固件/demo.fw" >start.log 2>&1 \
  || fail "the shell could not open demo.fw"
main=$(wine_gui_window "demo\.fw - Firmware Downloader" 60) || fail "opening demo.fw showed no KAVRO window"
wine_gui_keys "$main" alt+f x
wine_gui_no_window "demo\.fw - Firmware Downloader" 20 || fail "the installed kavro.exe did not exit"
echo "ok: demo.fw in a folder named with German and Chinese characters opened in the installed kavro.exe"

# The uninstaller runs from a copy of itself and returns at once: its work
# is done when both the folder and its Apps & features entry are gone.
wine "$dir/Uninstall.exe" /S </dev/null >uninstall.log 2>&1 || fail "the uninstaller ended with status $?"
for _ in $(seq 60); do
  [ ! -e "$dir" ] && [ -z "$(reg_value "$uninstall_key" DisplayName)" ] && break
  sleep 0.5
done
[ ! -e "$dir" ] || fail "left in Program Files: $(find "$dir")"
[ ! -e "$menu" ] || fail "the Start-menu folder is left: $(ls "$menu")"
[ -z "$(reg_value "$uninstall_key" DisplayName)" ] || fail "the Apps & features entry is left"
[ -z "$(reg_value 'HKLM\Software\Classes\.fw')" ] || fail "the .fw type is left"
[ -z "$(reg_value 'HKLM\Software\Classes\KAVRO.Document')" ] || fail "KAVRO.Document is left"
reg_value "$env_key" PATH | grep -qi 'KAVRO\\bin' && fail "bin\\ is left on PATH: $(reg_value "$env_key" PATH)"
echo "ok: the silent uninstall left nothing behind"
