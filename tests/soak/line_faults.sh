#!/usr/bin/env bash
# Shows what kavro-cli does with each kind of bad line, one simulated device
# per case: the last line it printed and its exit status. The rows of
# docs/RELIABILITY.md quote these.
#   tests/soak/line_faults.sh [BUILD_DIR]   (default: build)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$root/${1:-build}" && pwd)
sim="$build/sim/kavro-sim"
cli="$build/cli/kavro-cli"
dir=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  rm -rf "$dir"
}
trap cleanup EXIT

ROOT=$root
# shellcheck source=../../scripts/lib.sh
source "$root/scripts/lib.sh"
start_sim() {
  start_simulator "$sim" "$dir/sim.log" "$@"
  sim_pid=$SIM_PID
  port=$SIM_PORT
}
stop_sim() {
  kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; sim_pid=""
}
# case NAME "SIM OPTIONS" CLI ARGS... (PORT in the arguments stands for the device)
run_case() {
  local name=$1 sim_options=$2; shift 2
  # shellcheck disable=SC2086
  start_sim $sim_options
  local args=() a
  for a in "$@"; do args+=("${a//PORT/$port}"); done
  local start end status
  start=$(date +%s.%N)
  "$cli" "${args[@]}" > "$dir/out.log" 2>&1
  status=$?
  end=$(date +%s.%N)
  stop_sim
  printf '%-28s exit %d  %5.1f s  %s\n' "$name" "$status" "$(echo "$end - $start" | bc)" \
    "$(grep -v '^\(Downloading\|[A-Za-z ]* : \)' "$dir/out.log" | tr '\n' ' ' | cut -c1-150)"
}

run_case "clean line"              ""                                   download --port PORT
run_case "noise between frames"    "--garbage 0.5 --seed 3"             download --port PORT
run_case "stale replies (2)"       "--foreign 2 --seed 3"               download --port PORT
run_case "stale replies (3)"       "--foreign 3 --seed 3"               download --port PORT
run_case "late sync replies"       "--answer-sync-late 50"              download --port PORT
run_case "corrupt frames 20 %"     "--corrupt 0.2 --seed 3"             download --port PORT
run_case "corrupt frames 70 %"     "--corrupt 0.7 --seed 3"             download --port PORT
run_case "begin refused twice"     "--refuse 2 --refuse-command 05"     download --port PORT
run_case "begin refused 3 times"   "--refuse 3 --refuse-command 05"     download --port PORT
run_case "block refused once"      "--refuse 1 --refuse-command 01"     download --port PORT
run_case "too-short block ack"     "--short-ack 1"                      download --port PORT
run_case "dropped replies 1 %"     "--drop 0.01 --seed 5"               download --port PORT
run_case "silent device"           "--silent"                           identify --port PORT --timeout 10
run_case "silent after 50 blocks"  "--silence-after-blocks 50"          download --port PORT
run_case "hang-up after 50 blocks" "--hangup-after-blocks 50"           download --port PORT
run_case "end refused 3 times"     "--refuse 3 --refuse-command 06"     download --port PORT

# The port itself.
start_sim
flock "$port" sleep 20 &
holder=$!
sleep 0.2
"$cli" identify --port "$port" > "$dir/out.log" 2>&1
printf '%-28s exit %d  %s\n' "port busy (flock held)" $? "$(tr '\n' ' ' < "$dir/out.log")"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
if [ "$(id -u)" = 0 ] && command -v setpriv > /dev/null; then
  chmod 600 "$port"
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" identify --port "$port" > "$dir/out.log" 2>&1
  printf '%-28s exit %d  %s\n' "permission denied" $? "$(tr '\n' ' ' < "$dir/out.log")"
fi
stop_sim
"$cli" identify --port /dev/kavro-no-such-port > "$dir/out.log" 2>&1
printf '%-28s exit %d  %s\n' "missing port" $? "$(tr '\n' ' ' < "$dir/out.log")"
