#!/usr/bin/env bash
# KAVRO firmware downloader: set-up, build, test and demo entry point.
#   ./kavro.sh demo            build, then download the built-in image to a simulated device
#   ./kavro.sh test            build and run every test (also under ASan+UBSan and TSan)
#   ./kavro.sh gui             open the desktop application
#   ./kavro.sh screenshot      render the main window after a download into docs/screenshot.png
#   ./kavro.sh fuzz [SECONDS]  run every fuzz target for SECONDS (default 60) each
#   ./kavro.sh soak [RUNS]     fault soak: RUNS downloads with injected faults (default 200)
#   ./kavro.sh bench           run the benchmarks and write docs/PERFORMANCE.md
#   ./kavro.sh test-windows    cross-build for Windows and run the tests under Wine
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 2)

log() { printf '\n== %s\n' "$*"; }

# Installs the Debian packages that are missing; packages already there cost one dpkg query.
need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BASE_PACKAGES=(build-essential cmake libgtest-dev libgmock-dev libcli11-dev libwxgtk3.2-dev
               xvfb xauth fonts-liberation)

# configure_build DIR [cmake options...]
configure_build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$ROOT/$dir.configure.log" 2>&1 \
    || { cat "$ROOT/$dir.configure.log"; return 1; }
  cmake --build "$ROOT/$dir" -j "$JOBS"
}

# run_ctest DIR [ctest options...]: the GUI tests need a display, so the suite runs under Xvfb.
run_ctest() {
  local dir=$1; shift
  local home
  home=$(mktemp -d)
  (cd "$ROOT/$dir" && HOME="$home" XDG_CONFIG_HOME="$home/.config" \
     xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$JOBS" "$@")
  local rc=$?
  rm -rf "$home"
  return $rc
}

cmd_build() {
  need_packages "${BASE_PACKAGES[@]}"
  log "build (build/)"
  configure_build build
}

cmd_test() {
  need_packages "${BASE_PACKAGES[@]}" g++-mingw-w64-x86-64-posix
  log "build and test (build/)"
  configure_build build
  run_ctest build

  log "ASan+UBSan build and test (build-asan/)"
  configure_build build-asan -DKAVRO_SANITIZE=address -DKAVRO_BUILD_GUI=OFF
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan

  log "TSan build and test (build-tsan/)"
  configure_build build-tsan -DKAVRO_SANITIZE=thread -DKAVRO_BUILD_GUI=OFF
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan

  log "Windows cross-build of the core (build-mingw/)"
  configure_build build-mingw -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DKAVRO_BUILD_GUI=OFF -DKAVRO_BUILD_TESTS=OFF -DKAVRO_BUILD_TOOLS=OFF
  log "all tests passed"
}

main() {
  local cmd=${1:-help}
  shift || true
  case "$cmd" in
    build) cmd_build "$@" ;;
    test) cmd_test "$@" ;;
    *) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; [ "$cmd" = help ] || exit 1 ;;
  esac
}

main "$@"
