# ./kavro.sh fuzz [SECONDS]: builds the libFuzzer targets with clang under
# ASan+UBSan (build-fuzz/) and runs each for SECONDS (default 60) on a copy of
# its committed corpus. New inputs go to build-fuzz/fuzz-work/<target>/, never
# into fuzz/corpus/; crashes are written to fuzz/artifacts/<target>/ (ignored
# by git). Exits non-zero when any target found something.
# Sourced by kavro.sh: ROOT is set and scripts/lib.sh is loaded.

fuzz_main() {
  local seconds=${1:-60}
  case "$seconds" in
    ''|*[!0-9]*) echo "usage: ./kavro.sh fuzz [SECONDS]" >&2; return 1 ;;
  esac
  need_packages "${BASE_PACKAGES[@]}" clang libclang-rt-dev

  local targets name
  targets=$(sed -n 's/^set(KAVRO_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/fuzz/CMakeLists.txt")

  log "libFuzzer build with clang, ASan+UBSan (build-fuzz/)"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKAVRO_SANITIZE=fuzzer -DKAVRO_BUILD_GUI=OFF > "$ROOT/build-fuzz.configure.log" 2>&1 \
    || { cat "$ROOT/build-fuzz.configure.log"; return 1; }
  # Only the fuzz targets (and the core they link): the rest is built elsewhere.
  local build_targets=()
  for name in $targets; do build_targets+=(--target "kavro_fuzz_$name"); done
  cmake --build "$ROOT/build-fuzz" -j "$JOBS" "${build_targets[@]}"
  local failed=() work artifacts log_file status
  for name in $targets; do
    work="$ROOT/build-fuzz/fuzz-work/$name"
    artifacts="$ROOT/fuzz/artifacts/$name"
    log_file="$ROOT/build-fuzz/fuzz-work/$name.log"
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    cp "$ROOT/fuzz/corpus/$name"/* "$work/" 2>/dev/null || true
    log "fuzz $name for ${seconds}s"
    status=0
    # Temporary files of a target (the settings file's) stay inside the build folder.
    mkdir -p "$ROOT/build-fuzz/fuzz-work/tmp"
    TMPDIR="$ROOT/build-fuzz/fuzz-work/tmp" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$ROOT/build-fuzz/fuzz/kavro_fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" > "$log_file" 2>&1 || status=$?
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added)' "$log_file" || true
    if [ "$status" -ne 0 ]; then
      failed+=("$name")
      echo "FINDING in $name (exit $status); log: $log_file" >&2
      grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log_file" | head -20 >&2 || true
    fi
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in: ${failed[*]} (inputs under fuzz/artifacts/; add each to fuzz/corpus/<target>/ once fixed)" >&2
    return 1
  fi
  log "fuzz: no findings in ${seconds}s per target ($(echo $targets | wc -w) targets)"
}

fuzz_main "$@"
