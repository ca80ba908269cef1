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

# The station window with eight simulated bays mid-run: five bays on a paced
# line still flashing, one whose units never answer, two on a fast line done;
# written to docs/station.png.
cat >"$SHOT_DIR/station.sh" <<'INNER'
set -euo pipefail
sim="$1"; gui="$2"; out="$3"; dir="$4"
# The simulator and the application are this script's jobs: both go with it.
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; true' EXIT
fail() { cat "$1" >&2; echo "$2" >&2; exit 1; }
mkdir -p "$dir/bays"
"$sim" --quiet --bays 8 --link-dir "$dir/bays" --line-rate 19200 --silent-bay 5 \
  --fault-bay 0 --fault-bay 1 --fault-bay 2 --fault-bay 3 --fault-bay 4 >"$dir/station-sim.log" 2>&1 &
timeout 10 sh -c "until [ -L '$dir/bays/bay7' ]; do sleep 0.1; done" || fail "$dir/station-sim.log" "kavro-sim made no bays"
# The bay list and the records file, as the window remembers them.
{
  echo "[Station]"; echo "BayCount=8"; echo "Image="; echo "Records=$dir/records.sqlite"
  for k in 0 1 2 3 4 5 6 7; do echo "[Station/Bay$k]"; echo "Port=$dir/bays/bay$k"; echo "SecondCpu=0"; done
} >"$XDG_CONFIG_HOME/KAVRO.conf"
"$gui" --autorun-station >"$dir/station-gui.log" 2>&1 &
timeout 30 sh -c "until grep -q '^autorun: ' '$dir/station-gui.log'; do sleep 0.1; done" || true
read -r x y w h <<<"$(sed -n 's/^autorun: station //p' "$dir/station-gui.log" | head -n 1)"
[ -n "${h:-}" ] && ! grep -q '^autorun: failed' "$dir/station-gui.log" || fail "$dir/station-gui.log" "the station did not start"
sleep 6  # the fast bays done, the paced ones part of the way
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "wrote $out (${w}x${h})"
INNER

log "station with eight simulated bays under Xvfb"
(
  export HOME="$SHOT_DIR/home" XDG_CONFIG_HOME="$SHOT_DIR/home/.config" NO_AT_BRIDGE=1
  mkdir -p "$XDG_CONFIG_HOME"
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$SHOT_DIR/station.sh" \
    "$ROOT/$SHOT_BUILD_DIR/sim/kavro-sim" "$ROOT/$SHOT_BUILD_DIR/ui/kavro" "$ROOT/docs/station.png" "$SHOT_DIR"
)
rm -rf "$SHOT_DIR"
trap - EXIT
