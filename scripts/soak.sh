# ./kavro.sh soak [RUNS]: the fault soak under ASan+UBSan (build-ev-asan/):
# RUNS downloads (default 200) of the built-in image to the in-process
# simulator with seeded random faults. Prints one line per run, the count of
# each outcome and the seed of every failure; fails when any run failed.
# Then the station soak (tests/soak/station_soak.cpp): 16 bays, 200 units.
# Then the records soak (tests/soak/records_soak.cpp): kavro-cli's station on
# 8 flaky bays recording to a PostgreSQL server that is stopped, frozen and
# restarted at random, the station stopped by SIGTERM and SIGHUP at random
# and restarted, for SOAK_RECORDS_SECONDS (default 180).
# SOAK_SEED (default 1) and SOAK_JOBS (default 4) change the first seed and
# how many runs go at once; `kavro-soak --only SEED` repeats one run.
# Sourced by kavro.sh: ROOT is set and scripts/lib.sh is loaded.

soak_main() {
  local runs=${1:-200}
  case "$runs" in
    ''|*[!0-9]*|0) echo "usage: ./kavro.sh soak [RUNS]" >&2; return 1 ;;
  esac
  need_packages "${BASE_PACKAGES[@]}"
  log "ASan+UBSan build of the soak (build-ev-asan/)"
  cmake -S "$ROOT" -B "$ROOT/build-ev-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_SANITIZE=address \
    -DKAVRO_BUILD_GUI=OFF > "$ROOT/build-ev-asan.configure.log" 2>&1 \
    || { cat "$ROOT/build-ev-asan.configure.log"; return 1; }
  cmake --build "$ROOT/build-ev-asan" -j "$JOBS" --target kavro-soak kavro-station-soak kavro-records-soak
  log "soak: $runs runs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$ROOT/build-ev-asan/tests/soak/kavro-soak" --runs "$runs" --seed "${SOAK_SEED:-1}" --jobs "${SOAK_JOBS:-4}"
  # The station: 16 bays with seeded line faults (a few dropped replies among
  # them) and swaps, also in the middle of downloads, until 200 units have
  # finished; no passed unit may hold other bytes than the image.
  log "station soak: 16 bays, 200 units"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$ROOT/build-ev-asan/tests/soak/kavro-station-soak" --bays 16 --units 200 --seed "${SOAK_SEED:-1}" --drop 0.002
  # Every unit the station finished is on the server exactly once, every unit
  # that received an image has its record, no chip passed twice, nothing is
  # left in the local queue or saved beside it.
  local seconds=${SOAK_RECORDS_SECONDS:-180}
  log "records soak: 8 bays, PostgreSQL stopped, frozen and restarted, the station signalled, ${seconds} s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$ROOT/build-ev-asan/tests/soak/kavro-records-soak" --bays 8 --seconds "$seconds" --seed "${SOAK_SEED:-1}"
}

soak_main "$@"
