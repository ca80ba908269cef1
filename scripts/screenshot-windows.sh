# ./kavro.sh screenshot-windows: kavro.exe under Wine on Xvfb, with the
# simulated device on COM12, connects and downloads the built-in image
# unattended; the main window is then written to docs/screenshot-windows.png.
# Wine draws the window frames itself here, as Windows would, since Xvfb has
# no window manager.
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded, set -euo pipefail).

need_packages wine wine64 fonts-wine xvfb xauth xdotool imagemagick
# shellcheck source=scripts/windows-build.sh
source "$ROOT/scripts/windows-build.sh"
log "kavro-sim for this machine (build-winhost/)"
SHOT_SIM=$(windows_host_sim "$ROOT/build-winhost")
log "Windows cross-build (build-win/)"
windows_cross_build "$ROOT/build-win" kavro

# Runs inside xvfb-run: the prefix, the simulator, the program, the capture.
cat >"$ROOT/build-win/screenshot-inner.sh" <<'INNER'
set -euo pipefail
root=$1 sim=$2 out=$3 app=$4 prefix=$5
source "$root/tests/win32/wine_gui_lib.sh"
work=$(mktemp -d)
trap 'wine_gui_cleanup; rm -rf "$work"' EXIT
wine_gui_prefix "$prefix"
# Frames and captions drawn by Wine, not left to a window manager.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine_gui_sim COM12 "$sim" "$work/sim.log" --quiet
wine_gui_start "$work/gui.log" "$app" --port COM12 --autorun-download
wine_gui_wait_line "$work/gui.log" '^autorun: (done|failed)' 120 || { cat "$work/gui.log" >&2; exit 1; }
geometry=$(tr -d '\r' <"$work/gui.log" | sed -n 's/^autorun: done //p' | head -n 1)
[ -n "$geometry" ] || { cat "$work/gui.log" >&2; echo "the unattended download failed" >&2; exit 1; }
tr -d '\r' <"$work/gui.log" | grep '^autorun: box' || true
read -r x y w h <<<"$geometry"
window=$(wine_gui_window ".* - Firmware Downloader" 10)
# The last repaint has happened once two captures agree.
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/a.png"
for _ in $(seq 20); do
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/b.png"
  [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)" = "0" ] && break
  mv "$work/b.png" "$work/a.png"
done
cp "$work/a.png" "$out"
echo "wrote $out (${w}x${h}, window $window)"
wine_gui_keys "$window" alt+f x
INNER

log "unattended download under Wine on Xvfb"
mkdir -p "$ROOT/docs"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$ROOT/build-win/screenshot-inner.sh" \
  "$ROOT" "$SHOT_SIM" "$ROOT/docs/screenshot-windows.png" "$ROOT/build-win/ui/kavro.exe" \
  "$ROOT/build-win/wineprefix-screenshot"
