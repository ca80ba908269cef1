# The web console's cost for ./kavro.sh bench (sourced by scripts/bench.sh):
# kavro-cli station --once --http against 16 of kavro-sim's bays at 19200 baud,
# once with no event client and once with 50 clients reading /api/v1/events
# (curl), each bay's line efficiency compared between the two. Writes a
# Markdown section to the file given. `./kavro.sh bench web` runs only this
# section and puts it into docs/PERFORMANCE.md in place of the last one.

BENCH_WEB_BAYS=16
BENCH_WEB_BYTES=24576  # the built-in image

# One run with $1 event clients; prints "clients wall cpu rss passed seen" and
# leaves each bay's download seconds in $BENCH_TMP/web-$1/durations ("bay seconds").
bench_web_run() {
  local clients=$1 dir="$BENCH_TMP/web-$1" port="" pids=() _ args=()
  mkdir -p "$dir"
  for _ in $(seq 0 $((BENCH_WEB_BAYS - 1))); do args+=(--bay "$dir/bay$_"); done
  # The station first: its bays wait for their ports while the clients connect.
  /usr/bin/time -f '%e %U %S %M' -o "$dir/time" "$BENCH_DIR/cli/kavro-cli" station --once --json --timeout 120 \
    --http 127.0.0.1:0 --records "$dir/records.sqlite" "${args[@]}" > "$dir/events.jsonl" 2> "$dir/cli.err" &
  local station=$!
  for _ in $(seq 1 100); do
    port=$(sed -n 's|^Web console: http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$dir/cli.err")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { cat "$dir/cli.err" >&2; kill "$station"; return 1; }
  for _ in $(seq 1 "$clients"); do
    curl -sN "http://127.0.0.1:$port/api/v1/events" > "$dir/client$_.sse" 2>/dev/null &
    pids+=($!)
  done
  "$BENCH_DIR/sim/kavro-sim" --bays "$BENCH_WEB_BAYS" --link-dir "$dir" --line-rate 19200 -q > "$dir/sim.log" 2>&1 &
  BENCH_SIM_PID=$!
  wait "$station" || true
  bench_stop_sim
  [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
  bench_station_times "$dir/events.jsonl" download-started | sort -k1,1 > "$dir/start"
  bench_station_times "$dir/events.jsonl" unit-finished | sort -k1,1 > "$dir/end"
  join "$dir/start" "$dir/end" | awk '{ d = $3 - $2; if (d < 0) d += 86400; print $1, d }' > "$dir/durations"
  # How many clients saw every bay's unit finish: live, not merely connected.
  local seen=0 file
  for file in "$dir"/client*.sse; do
    [ -e "$file" ] || continue
    [ "$(grep -c '^event: unit-finished$' "$file")" -ge "$BENCH_WEB_BAYS" ] && seen=$((seen + 1))
  done
  local passed wall user sys rss
  passed=$(grep -c '"result":"passed"' "$dir/events.jsonl" || true)
  read -r wall user sys rss < "$dir/time"
  echo "$clients $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $rss $passed $seen"
}

bench_web_all() {
  local report=$1 quiet loaded
  log "7. web console: $BENCH_WEB_BAYS bays without and with 50 event clients, 19200 baud"
  quiet=$(bench_web_run 0)
  echo "$quiet"
  loaded=$(bench_web_run 50)
  echo "$loaded"
  # Each bay's efficiency with the clients over its efficiency without them.
  join "$BENCH_TMP/web-0/durations" "$BENCH_TMP/web-50/durations" |
    awk '{ r = $2 / $3; print r }' | sort -n > "$BENCH_TMP/web.ratios"
  local row
  row=$(awk -v bytes="$BENCH_WEB_BYTES" -v bays="$BENCH_WEB_BAYS" '
    FNR == 1 { f++ }
    f == 1 { d0[$1] = $2; next }
    f == 2 { d1[$1] = $2; next }
    f == 3 { r[++n] = $1 }
    END {
      for (b in d0) { s0 += d0[b]; c0++ }
      for (b in d1) { s1 += d1[b]; c1++ }
      e0 = bytes * 10 / 19200 / (s0 / c0); e1 = bytes * 10 / 19200 / (s1 / c1)
      med = (n % 2) ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
      printf "%.3f %.3f %.4f %.4f %.4f %d\n", e0, e1, r[1], med, r[n], n
    }' "$BENCH_TMP/web-0/durations" "$BENCH_TMP/web-50/durations" "$BENCH_TMP/web.ratios")
  local e0 e1 worst median best compared
  read -r e0 e1 worst median best compared <<< "$row"
  local c0 w0 r0 p0 c1 w1 r1 p1 seen _
  read -r _ w0 c0 r0 p0 _ <<< "$quiet"
  read -r _ w1 c1 r1 p1 seen <<< "$loaded"
  {
    echo "## 7. Web console: 16 bays with 50 live event clients"
    echo
    echo "\`kavro-cli station --once --json --http 127.0.0.1:0\` against \`kavro-sim --bays 16 --line-rate"
    echo "19200\`, the built-in image, twice: with no client, and with 50 \`curl -N\` clients reading"
    echo "\`/api/v1/events\` from before the first unit to the last (a client counts as live when it saw"
    echo "all 16 \`unit-finished\` events). Each bay's efficiency is its download time"
    echo "(\`download-started\` to \`unit-finished\`) as in section 6; the ratio divides a bay's"
    echo "efficiency with the clients by the same bay's without them. The server's CPU is the"
    echo "station's user + system time with the clients less that without (\`/usr/bin/time\`). Each"
    echo "stream gathers the events that come within 100 ms of one another into one write."
    echo
    echo "| Run | Passed | Live clients | Payload efficiency (mean) | Station CPU | Wall | Peak memory |"
    echo "|---|---|---|---|---|---|---|"
    printf '| no client | %s of 16 | 0 | %s | %.2f s | %.1f s | %.1f MiB |\n' "$p0" "$e0" "$c0" "$w0" "$(awk -v r="$r0" 'BEGIN { print r / 1024 }')"
    printf '| 50 event clients | %s of 16 | %s of 50 | %s | %.2f s | %.1f s | %.1f MiB |\n' "$p1" "$seen" "$e1" "$c1" "$w1" "$(awk -v r="$r1" 'BEGIN { print r / 1024 }')"
    echo
    awk -v w="$worst" -v m="$median" -v b="$best" -v n="$compared" -v c0="$c0" -v c1="$c1" -v wall="$w1" 'BEGIN {
      printf "Per bay (%d compared), efficiency with the clients over without: worst %.4f, median %.4f,\n", n, w, m
      printf "best %.4f; every bay within %.1f %% of its run without clients (the goal: within 2 %%, %s).\n", b, \
        (1 - w > b - 1 ? 1 - w : b - 1) * 100, (w >= 0.98 && b <= 1.02) ? "met" : "**missed**"
      printf "The server, 50 event streams of 16 bays'\'' events (a progress event per block), cost %.2f s of\n", c1 - c0
      printf "CPU over the %.0f s run: %.2f %% of one core.\n", wall, (c1 - c0) / wall * 100
    }'
  } > "$report"
}

# ./kavro.sh bench web: this section alone, in place of docs/PERFORMANCE.md's
# section 7 (appended when there is none); the other sections stay as they are.
bench_web_only() {
  bench_web_all "$BENCH_TMP/web.md"
  awk '/^## 7\. / { skip = 1; next } /^## / { skip = 0 } !skip' "$BENCH_OUT" > "$BENCH_TMP/performance.md"
  { awk 'NF { for (; blank > 0; blank--) print ""; print; next } { blank++ }' "$BENCH_TMP/performance.md"
    echo; cat "$BENCH_TMP/web.md"; } > "$BENCH_OUT"
  log "wrote section 7 of docs/PERFORMANCE.md"
}
