# ./kavro.sh screenshot: under Xvfb, start the simulated device, open the
# desktop application on its port, let it connect and download the built-in
# image unattended, and write the main window while it downloads to
# docs/screenshot-downloading.png and after the download to docs/screenshot.png;
# then the same in German and in Simplified Chinese (-de.png, -zh_CN.png), and
# in English at twice the scale (docs/screenshot-2x.png). The port is named by
# a 58-character by-path style link to the simulator.
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded, set -euo pipefail).

# The build folder, relative to ROOT (KAVRO_SCREENSHOT_BUILD_DIR takes another).
SHOT_BUILD_DIR=${KAVRO_SCREENSHOT_BUILD_DIR:-build}

need_packages "${BASE_PACKAGES[@]}" imagemagick
log "build ($SHOT_BUILD_DIR/)"
configure_build "$SHOT_BUILD_DIR"

SHOT_DIR=$(mktemp -d)
trap 'rm -rf "$SHOT_DIR"' EXIT

# Runs inside xvfb-run: the simulator, the application, the capture.
cat >"$SHOT_DIR/inner.sh" <<'INNER'
set -euo pipefail
sim="$1"; gui="$2"; out="$3"; dir="$4"; midway="$5"; ROOT="$6"; lang="$7"; link="$8"
source "$ROOT/scripts/lib.sh"
sim_pid=""; gui_pid=""
cleanup() {
  # The programs end by the signal: their statuses are not this script's.
  if [ -n "$gui_pid" ]; then kill "$gui_pid" 2>/dev/null || true; wait "$gui_pid" 2>/dev/null || true; fi
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
# Paced like a real line (about 13 s for the image), so the window is caught
# part way through the download.
status=0
# The port by a long stable name, as /dev/serial/by-path/... names an adapter's socket.
mkdir -p "$(dirname "$link")"
start_simulator "$sim" "$dir/sim.log" --line-rate 19200 --link "$link" || status=$?
sim_pid=$SIM_PID
port=$link
[ "$status" -eq 0 ] || exit 1
echo "simulated device on $port"
"$gui" --port "$port" --lang "$lang" --autorun-download >"$dir/gui.log" 2>&1 &
gui_pid=$!
# Waits for the autorun line of moment $1 and captures the window into $2.
capture() {
  local geometry="" x y w h
  for _ in $(seq 1 1200); do
    geometry=$(sed -n "s/^autorun: $1 //p" "$dir/gui.log" | head -n 1)
    [ -n "$geometry" ] && break
    if grep -q '^autorun: failed' "$dir/gui.log" || ! kill -0 "$gui_pid" 2>/dev/null; then
      cat "$dir/gui.log" >&2; echo "the unattended download did not reach '$1'" >&2; exit 1
    fi
    sleep 0.1
  done
  [ -n "$geometry" ] || { cat "$dir/gui.log" >&2; echo "timed out waiting for '$1'" >&2; exit 1; }
  read -r x y w h <<<"$geometry"
  # The window's place is in logical pixels; GDK_SCALE multiplies the screen's.
  local scale=${GDK_SCALE:-1}
  x=$((x * scale)) y=$((y * scale)) w=$((w * scale)) h=$((h * scale))
  sleep 0.3  # the last repaint
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2"
  echo "wrote $2 (${w}x${h})"
}
capture downloading "$midway"
capture done "$out"
grep '^autorun: box' "$dir/gui.log" || true
INNER

log "unattended download under Xvfb"
mkdir -p "$ROOT/docs"
(
  export HOME="$SHOT_DIR/home" XDG_CONFIG_HOME="$SHOT_DIR/home/.config" NO_AT_BRIDGE=1
  mkdir -p "$XDG_CONFIG_HOME"
  link=/tmp/kavro-shot/serial/by-path/pci-0000:00:14.0-usb-0:2.4.1:1.0-port0
  for lang in en de zh_CN; do
    suffix=""
    if [ "$lang" != en ]; then suffix="-$lang"; fi
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$SHOT_DIR/inner.sh" \
      "$ROOT/$SHOT_BUILD_DIR/sim/kavro-sim" "$ROOT/$SHOT_BUILD_DIR/ui/kavro" "$ROOT/docs/screenshot$suffix.png" \
      "$SHOT_DIR" "$ROOT/docs/screenshot-downloading$suffix.png" "$ROOT" "$lang" "$link"
  done
  GDK_SCALE=2 xvfb-run -a -s "-screen 0 2560x1600x24 -noreset" bash "$SHOT_DIR/inner.sh" \
    "$ROOT/$SHOT_BUILD_DIR/sim/kavro-sim" "$ROOT/$SHOT_BUILD_DIR/ui/kavro" "$ROOT/docs/screenshot-2x.png" \
    "$SHOT_DIR" "$SHOT_DIR/downloading-2x.png" "$ROOT" en "$link"
)

# The station window mid-run with eight simulated bays: four on a paced line
# still flashing, two on a fast line done, one whose unit goes silent part way
# (NO REPLY until the link gives it up) and one whose hardware the image does
# not fit (FAILED with its reason); in English, German and Chinese, and once at twice the
# scale (GDK_SCALE=2): docs/station.png, station-de.png, station-zh_CN.png,
# station-2x.png.
cat >"$SHOT_DIR/station.sh" <<'INNER'
set -euo pipefail
sim="$1"; gui="$2"; out="$3"; dir="$4"; lang="$5"; scale="$6"
# The simulators and the application are this script's jobs: all go with it.
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; true' EXIT
fail() { cat "$1" >&2; echo "$2" >&2; exit 1; }
rm -rf "$dir/bays" "$dir/silent" "$dir/refused" "$dir/records.sqlite"
mkdir -p "$dir/bays" "$dir/silent" "$dir/refused"
"$sim" --quiet --bays 6 --link-dir "$dir/bays" --line-rate 19200 \
  --fault-bay 0 --fault-bay 1 --fault-bay 2 --fault-bay 3 >"$dir/station-sim.log" 2>&1 &
"$sim" --quiet --bays 1 --link-dir "$dir/silent" --line-rate 19200 --fault-bay 0 --silence-after-blocks 12 \
  >"$dir/silent-sim.log" 2>&1 &
"$sim" --quiet --bays 1 --link-dir "$dir/refused" --hw-current 4.00 >"$dir/refused-sim.log" 2>&1 &
timeout 10 sh -c "until [ -L '$dir/bays/bay5' ] && [ -L '$dir/silent/bay0' ] && [ -L '$dir/refused/bay0' ]; do sleep 0.1; done" ||
  fail "$dir/station-sim.log" "kavro-sim made no bays"
# The bay list, the built-in image (chosen), the records file and the window's place, as the window
# remembers them; the place keeps the pointer (the screen's middle) off it.
ports=("$dir/bays/bay0" "$dir/bays/bay1" "$dir/bays/bay2" "$dir/bays/bay3" "$dir/silent/bay0" "$dir/refused/bay0"
  "$dir/bays/bay4" "$dir/bays/bay5")
{
  echo "[Station]"; echo "BayCount=8"; echo "Image="; echo "BuiltInImage=1"; echo "Records=$dir/records.sqlite"
  for k in 0 1 2 3 4 5 6 7; do echo "[Station/Bay$k]"; echo "Port=${ports[$k]}"; echo "SecondCpu=0"; done
  echo "[StationWindow]"; echo "X=0"; echo "Y=0"; echo "Width=1400"; echo "Height=960"
} >"$XDG_CONFIG_HOME/KAVRO.conf"
GDK_SCALE=$scale "$gui" --lang "$lang" --autorun-station >"$dir/station-gui.log" 2>&1 &
timeout 30 sh -c "until grep -q '^autorun: ' '$dir/station-gui.log'; do sleep 0.1; done" || true
read -r x y w h <<<"$(sed -n 's/^autorun: station //p' "$dir/station-gui.log" | head -n 1)"
[ -n "${h:-}" ] && ! grep -q '^autorun: failed' "$dir/station-gui.log" || fail "$dir/station-gui.log" "the station did not start"
sleep 7  # the fast bays done, the silent one not replying, the paced ones part of the way
# The place is in the toolkit's units: the screen's pixels are scale times as many.
import -window root -crop "$((w * scale))x$((h * scale))+$((x * scale))+$((y * scale))" +repage "$out"
echo "wrote $out ($((w * scale))x$((h * scale)))"
INNER

log "station with eight simulated bays under Xvfb"
(
  export HOME="$SHOT_DIR/home" XDG_CONFIG_HOME="$SHOT_DIR/home/.config" NO_AT_BRIDGE=1
  mkdir -p "$XDG_CONFIG_HOME"
  for shot in en:1: de:1:-de zh_CN:1:-zh_CN en:2:-2x; do
    IFS=: read -r lang scale suffix <<<"$shot"
    xvfb-run -a -s "-screen 0 $((3000 * scale))x$((1400 * scale))x24 -noreset" bash "$SHOT_DIR/station.sh" \
      "$ROOT/$SHOT_BUILD_DIR/sim/kavro-sim" "$ROOT/$SHOT_BUILD_DIR/ui/kavro" "$ROOT/docs/station$suffix.png" \
      "$SHOT_DIR" "$lang" "$scale"
  done
)

log "web console in headless Chromium: docs/web-console-200.png and docs/web-console-390.png"
need_packages "${TEST_PACKAGES[@]}"
/usr/bin/python3 "$ROOT/tests/web/browser_test.py" "$ROOT/$SHOT_BUILD_DIR/cli/kavro-cli" \
  "$ROOT/$SHOT_BUILD_DIR/sim/kavro-sim" "$ROOT/docs"
rm -rf "$SHOT_DIR"
trap - EXIT
