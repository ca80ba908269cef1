# ./kavro.sh test-windows [--host-build DIR]
# Cross-builds the core, the unit tests, the Windows tests and kavro-cli with mingw-w64
# (build-win/) and runs them under Wine. A simulated device (kavro-sim, built
# for this machine in build-winhost/ or DIR) serves the Windows channel tests
# on COM12: $WINEPREFIX/dosdevices/com12 links to its pseudo-terminal.
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded) and by
# scripts/test.d/50-windows.sh; everything runs in a subshell so that the
# clean-up trap and the exported variables stay here.

windows_tests() (
  set -euo pipefail
  local host_build="$ROOT/build-winhost"
  while [ $# -gt 0 ]; do
    case "$1" in
      --host-build) host_build=$2; shift 2 ;;
      *) echo "test-windows: unknown option $1" >&2; return 1 ;;
    esac
  done
  local win="$ROOT/build-win"
  local com=COM12  # two digits: the channel must open it as \\.\COM12
  local sim_pid=""

  need_packages build-essential cmake googletest libcli11-dev g++-mingw-w64-x86-64-posix wine wine64 socat

  export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY

  # shellcheck disable=SC2317  # called by the trap
  cleanup() {
    if [ -n "$sim_pid" ]; then
      kill "$sim_pid" 2>/dev/null || true
      wait "$sim_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
  }
  trap cleanup EXIT

  log "kavro-sim for this machine ($host_build)"
  if [ ! -f "$host_build/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$host_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_BUILD_GUI=OFF \
      -DKAVRO_BUILD_TESTS=OFF > "$host_build.configure.log" 2>&1 \
      || { cat "$host_build.configure.log"; return 1; }
  fi
  cmake --build "$host_build" -j "$JOBS" --target kavro-sim
  local sim="$host_build/sim/kavro-sim"

  # A persistent Wine server and the prefix's services before anything else:
  # a service started by a test process would inherit (and hold open) the
  # output of the build or of ctest.
  log "Wine prefix ($WINEPREFIX)"
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true  # one left by an interrupted run
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1

  log "Windows cross-build (build-win/)"
  cmake -S "$ROOT" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_BUILD_GUI=OFF > "$win.configure.log" 2>&1 \
    || { cat "$win.configure.log"; return 1; }
  cmake --build "$win" -j "$JOBS" --target kavro_unit_tests kavro_win32_tests kavro-cli

  log "simulated device on $com"
  local link="$WINEPREFIX/dosdevices/${com,,}" saved="$win/sim-$com.bin"
  rm -f "$saved"
  local status=0
  start_simulator "$sim" "$win/sim-$com.log" --link "$link" --save-image "$saved" || status=$?
  sim_pid=$SIM_PID
  [ "$status" -eq 0 ] && [ -L "$link" ] || return 1
  head -1 "$win/sim-$com.log"

  # The Windows tests find the device through these; Wine sees / as Z:.
  export KAVRO_TEST_COM=$com
  export KAVRO_TEST_SAVED_IMAGE="Z:${saved//\//\\}"
  export KAVRO_TEST_SAVED_IMAGE_HOST=$saved

  log "tests under Wine"
  (cd "$win" && ctest --output-on-failure -j "$JOBS" --timeout 300 -L '^(unit|win32)$')
)

windows_tests "$@"
