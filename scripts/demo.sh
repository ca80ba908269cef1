# ./kavro.sh demo: build, start the simulated device on a pseudo-terminal,
# download the built-in image to it with kavro-cli (then reset it), and check
# that the image the device stored equals the built-in image's data. With a
# display, the desktop application then opens on the same simulated port.
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded, set -euo pipefail).
# Stages are functions so that further ones can be added without touching the
# others; demo_main runs them in order.

# The build folder, relative to ROOT (KAVRO_DEMO_BUILD_DIR runs the demo from
# another folder's binaries; it is configured and built all the same).
DEMO_BUILD_DIR=${KAVRO_DEMO_BUILD_DIR:-build}
DEMO_SIM="$ROOT/$DEMO_BUILD_DIR/sim/kavro-sim"
DEMO_CLI="$ROOT/$DEMO_BUILD_DIR/cli/kavro-cli"
DEMO_GUI="$ROOT/$DEMO_BUILD_DIR/ui/kavro"
DEMO_BUILTIN="$ROOT/res/builtin.fw"
DEMO_DIR=""
DEMO_SIM_PID=""
DEMO_PORT=""

# Stops the simulator and removes the demo's temporary files (EXIT trap).
demo_cleanup() {
  if [ -n "$DEMO_SIM_PID" ]; then
    kill "$DEMO_SIM_PID" 2>/dev/null || true
    wait "$DEMO_SIM_PID" 2>/dev/null || true
    DEMO_SIM_PID=""
  fi
  if [ -n "$DEMO_DIR" ]; then
    rm -rf "$DEMO_DIR"
    DEMO_DIR=""
  fi
}

demo_fail() {
  printf '\nDEMO FAILED: %s\n' "$*" >&2
  exit 1
}

demo_build() {
  need_packages "${BASE_PACKAGES[@]}"
  log "build ($DEMO_BUILD_DIR/)"
  configure_build "$DEMO_BUILD_DIR"
  [ -x "$DEMO_SIM" ] || demo_fail "$DEMO_SIM was not built"
  [ -x "$DEMO_CLI" ] || demo_fail "$DEMO_CLI was not built"
}

# Starts kavro-sim on a new pseudo-terminal; sets DEMO_PORT from its first line.
demo_start_simulator() {
  log "simulated device"
  local status=0
  start_simulator "$DEMO_SIM" "$DEMO_DIR/sim.log" --save-image "$DEMO_DIR/stored.bin" || status=$?
  DEMO_SIM_PID=$SIM_PID
  DEMO_PORT=$SIM_PORT
  [ "$status" -eq 0 ] || demo_fail "kavro-sim did not start"
  echo "kavro-sim (pid $DEMO_SIM_PID) serves on $DEMO_PORT"
}

demo_download() {
  log "kavro-cli download --port $DEMO_PORT --reset"
  local status=0
  "$DEMO_CLI" download --port "$DEMO_PORT" --reset || status=$?
  [ "$status" -eq 0 ] || demo_fail "kavro-cli download ended with status $status"
}

# The device's stored image must equal the built-in image's data: the bytes
# after its 128-byte header, as many as the header's length field says.
demo_check_image() {
  log "stored image"
  [ -f "$DEMO_DIR/stored.bin" ] || demo_fail "the simulator stored no image"
  local length
  length=$(od -An -tu4 -j4 -N4 "$DEMO_BUILTIN" | tr -d ' ')
  dd if="$DEMO_BUILTIN" of="$DEMO_DIR/expected.bin" bs=64K iflag=skip_bytes,count_bytes \
    skip=128 count="$length" status=none
  local stored
  stored=$(wc -c <"$DEMO_DIR/stored.bin" | tr -d ' ')
  if cmp -s "$DEMO_DIR/expected.bin" "$DEMO_DIR/stored.bin"; then
    echo "PASS: the device stored all $stored bytes of the built-in image, byte for byte, and was reset."
  else
    cmp "$DEMO_DIR/expected.bin" "$DEMO_DIR/stored.bin" >&2 || true
    demo_fail "the stored image ($stored bytes) differs from the built-in image's $length data bytes"
  fi
}

# ---- Desktop application hook -------------------------------------------------
# With a display and a built desktop application, open it on the simulator's
# port so the download can be repeated by hand; the simulator keeps serving
# until the window is closed. Extend here (e.g. an unattended run) as the
# application grows.
demo_gui() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "(no display: the desktop application is not opened)"
    return 0
  fi
  if [ ! -x "$DEMO_GUI" ]; then
    echo "(the desktop application was not built: $DEMO_GUI)"
    return 0
  fi
  log "desktop application on $DEMO_PORT (close its window to end the demo)"
  "$DEMO_GUI" --port "$DEMO_PORT" || echo "(the desktop application ended with status $?)"
}
# ---- end of the desktop application hook --------------------------------------

demo_main() {
  demo_build
  DEMO_DIR=$(mktemp -d)
  trap demo_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  demo_start_simulator
  demo_download
  demo_check_image
  demo_gui
  demo_cleanup
  trap - EXIT INT TERM
}

demo_main "$@"
