# The station's figures for ./kavro.sh bench (sourced by scripts/bench.sh):
# kavro-cli station --once against kavro-sim's bays, every bay's line paced at
# 19200 baud, the built-in image, at 1, 4 and 16 bays. Writes a Markdown
# section to the file given.

# Seconds of the day of a JSON Lines "time" (UTC, ...THH:MM:SS.mmmZ).
bench_station_times() {
  awk -v event="$2" '
    index($0, "\"event\":\"" event "\"") {
      match($0, /"bay":[0-9]+/); bay = substr($0, RSTART + 6, RLENGTH - 6)
      match($0, /T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]+Z/)
      t = substr($0, RSTART + 1, RLENGTH - 2); split(t, p, ":")
      printf "%s %.3f\n", bay, p[1] * 3600 + p[2] * 60 + p[3]
    }' "$1"
}

# One run with $1 bays; prints "bays wall cpu rss median_download min max passed".
bench_station_run() {
  local bays=$1 dir="$BENCH_TMP/station-$1"
  mkdir -p "$dir"
  "$BENCH_DIR/sim/kavro-sim" --bays "$bays" --link-dir "$dir" --line-rate 19200 -q > "$dir/sim.log" 2>&1 &
  BENCH_SIM_PID=$!
  local _ args=()
  for _ in $(seq 1 100); do
    grep -q '^Simulated bays:' "$dir/sim.log" 2>/dev/null && break
    sleep 0.1
  done
  for _ in $(seq 0 $((bays - 1))); do args+=(--bay "$dir/bay$_"); done
  /usr/bin/time -f '%e %U %S %M' -o "$dir/time" "$BENCH_DIR/cli/kavro-cli" station --once --json \
    --records "$dir/records.sqlite" "${args[@]}" > "$dir/events.jsonl" 2> "$dir/cli.err" || true
  bench_stop_sim
  bench_station_times "$dir/events.jsonl" download-started | sort -n > "$dir/start"
  bench_station_times "$dir/events.jsonl" unit-finished | sort -n > "$dir/end"
  local passed
  passed=$(grep -c '"result":"passed"' "$dir/events.jsonl" || true)
  join "$dir/start" "$dir/end" | awk '{ d = $3 - $2; if (d < 0) d += 86400; print d }' | sort -n > "$dir/durations"
  local window
  window=$(awk 'FNR == NR { if (first == "" || $2 < first) first = $2; next } { if ($2 > last) last = $2 }
                END { w = last - first; if (w < 0) w += 86400; print w }' "$dir/start" "$dir/end")
  read -r wall user sys rss < "$dir/time"
  awk -v bays="$bays" -v passed="$passed" -v window="$window" -v wall="$wall" -v cpu="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" -v rss="$rss" '
    { v[NR] = $1 }
    END {
      n = NR; med = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
      printf "%d %.2f %.2f %d %.3f %.3f %.3f %d %.3f\n", bays, wall, cpu, rss, med, v[1], v[n], passed, window
    }' "$dir/durations"
}

bench_station_all() {
  local report=$1 lines=()
  local bays
  for bays in 1 4 16; do
    log "6. station: $bays bay(s), 19200 baud, built-in image"
    lines+=("$(bench_station_run "$bays")")
    echo "${lines[-1]}"
  done
  printf '%s\n' "${lines[@]}" > "$BENCH_TMP/station.raw"
  awk -v bytes=24576 '
    NR == 1 { base = $5 }
    {
      eff = bytes * 10 / 19200 / $5
      rel = base / $5
      cpu = ($9 > 0) ? $3 / $9 / $1 * 100 : 0
      uph = $8 * 3600 / $2
      printf "| %d | %d of %d | %.3f s (%.3f to %.3f) | %.3f | %.3f | %.2f %% | %.1f MiB | %.0f |\n", \
        $1, $8, $1, $5, $6, $7, eff, rel, cpu, $4 / 1024, uph
    }' "$BENCH_TMP/station.raw" > "$BENCH_TMP/station.rows"
  {
    echo "## 6. Station: many bays at once"
    echo
    echo "\`kavro-cli station --once --json\` against \`kavro-sim --bays N --line-rate 19200\` (each bay"
    echo "a pseudo-terminal of its own, paced at 19200 baud both ways), the built-in image (24,576"
    echo "bytes), with reset and records (SQLite). Download time per bay runs from its"
    echo "\`download-started\` event to its \`unit-finished\` event (reset included); payload efficiency"
    echo "is the data's own line time (24,576 bytes at 10 bits) over that; \"vs 1 bay\" divides the"
    echo "1-bay median by this row's. CPU is kavro-cli's user + system time (\`/usr/bin/time\`) over the"
    echo "span from the first download's start to the last unit's end, per bay: an upper bound of the"
    echo "share while downloading, since the wake-up and start-up CPU counts too. Units per hour: the"
    echo "run's units over its whole wall time (process start, wake-up, poll, download, reset)."
    echo
    echo "Goals: at 16 bays at least 0.98 of the 1-bay efficiency per bay, at most 1 % of one core"
    echo "per bay, under 30 MB peak memory."
    echo
    echo "| Bays | Passed | Download per bay, median (min to max) | Payload efficiency | vs 1 bay | CPU per bay | Peak memory | Units per hour |"
    echo "|---|---|---|---|---|---|---|---|"
    cat "$BENCH_TMP/station.rows"
  } > "$report"
}
