# ./kavro.sh test-windows [--host-build DIR]
# Cross-builds the core, the unit tests, the Windows tests, kavro-cli and the
# desktop application kavro.exe (on wxMSW, see scripts/wxmsw.sh) with mingw-w64
# (build-win/), packs the installer KAVRO-VERSION-win64.exe, and runs the tests
# under Wine. A simulated device (kavro-sim, built for this machine in
# build-winhost/ or DIR) serves the Windows channel tests on COM12:
# $WINEPREFIX/dosdevices/com12 links to its pseudo-terminal (the station's test
# links bays of its own as COM20 to COM23). The application's
# and the installer's tests run on Xvfb in a Wine prefix of their own.
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

  need_packages build-essential cmake googletest libcli11-dev nlohmann-json3-dev g++-mingw-w64-x86-64-posix wine wine64 socat \
    xvfb xauth xdotool imagemagick nsis locales sqlite3 postgresql openssl curl
  # shellcheck source=scripts/windows-build.sh
  source "$ROOT/scripts/windows-build.sh"

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
  local sim
  sim=$(windows_host_sim "$host_build")

  # A persistent Wine server and the prefix's services before anything else:
  # a service started by a test process would inherit (and hold open) the
  # output of the build or of ctest.
  log "Wine prefix ($WINEPREFIX)"
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true  # one left by an interrupted run
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
  # No display here: Wine's null graphics driver still makes windows and
  # passes their messages (the port watch's hidden window hears
  # WM_DEVICECHANGE). The desktop made so far had no driver: start again.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1

  log "Windows cross-build (build-win/)"
  windows_cross_build "$win" kavro_unit_tests kavro_ui_logic_tests kavro_win32_tests kavro-cli kavro
  log "installer (build-win/KAVRO-*-win64.exe)"
  (cd "$win" && cpack -G NSIS > "$win/cpack.log" 2>&1) || { tail -30 "$win/cpack.log"; return 1; }

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
  export KAVRO_TEST_SIM=$sim

  log "tests under Wine"
  (cd "$win" && ctest --output-on-failure -j "$JOBS" --timeout 300 -L '^(unit|win32)$')
)

windows_tests "$@"
