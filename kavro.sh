#!/usr/bin/env bash
# KAVRO firmware downloader: set-up, build, test and demo entry point.
#   ./kavro.sh demo            build, then download the built-in image to a simulated device
#   ./kavro.sh test            build and run every test (also under ASan+UBSan and TSan)
#   ./kavro.sh gui             open the desktop application
#   ./kavro.sh screenshot      render the main window while and after downloading into docs/
#   ./kavro.sh fuzz [SECONDS]  run every fuzz target for SECONDS (default 60) each
#   ./kavro.sh soak [RUNS]     fault soak: RUNS downloads with injected faults (default 200), then the station and records soaks
#   ./kavro.sh bench [web]     run the benchmarks and write docs/PERFORMANCE.md (web: only its web section)
#   ./kavro.sh test-windows    cross-build for Windows and run the tests under Wine
#   ./kavro.sh package         build the Debian package (build-package/kavro_*.deb)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"
export ROOT
# shellcheck source=scripts/lib.sh
source "$ROOT/scripts/lib.sh"

cmd_build() {
  need_packages "${BASE_PACKAGES[@]}"
  log "build (build/)"
  configure_build build
}

cmd_test() {
  need_packages "${BASE_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
  log "build and test (build/)"
  configure_build build
  run_ctest build

  log "ASan+UBSan build and test (build-asan/)"
  configure_build build-asan -DKAVRO_SANITIZE=address -DKAVRO_BUILD_GUI=ON
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan

  log "TSan build and test (build-tsan/)"
  configure_build build-tsan -DKAVRO_SANITIZE=thread -DKAVRO_BUILD_GUI=ON
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/tests/tsan.supp" run_ctest build-tsan

  # Further stages (Windows under Wine, the short soak, ...) live in scripts/test.d/.
  local stage
  for stage in "$ROOT"/scripts/test.d/*.sh; do
    [ -f "$stage" ] || continue
    log "stage $(basename "$stage" .sh)"
    source "$stage"
  done
  log "all tests passed"
}

main() {
  local cmd=${1:-help}
  shift || true
  case "$cmd" in
    build) cmd_build "$@" ;;
    test) cmd_test "$@" ;;
    help|-h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' ;;
    *)
      # Further commands live in scripts/<command>.sh and share scripts/lib.sh.
      if [ -f "$ROOT/scripts/$cmd.sh" ]; then
        source "$ROOT/scripts/$cmd.sh" "$@"
      else
        echo "unknown command: $cmd" >&2
        sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 1
      fi ;;
  esac
}

main "$@"
