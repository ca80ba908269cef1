#!/usr/bin/env bash
# Runs under xvfb-run with HOME and XDG_CONFIG_HOME in a fresh folder: the
# installed simulator serves a device; the installed desktop application is
# given its port once and must come back with it, connected, on its own.
# Usage: installed_gui.sh WORK_DIR
set -euo pipefail
dir=$1
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

kavro-sim --quiet >"$dir/sim.log" 2>&1 &
sim_pid=$!
port=""
deadline=$((SECONDS + 10))
while [ -z "$port" ] && [ $SECONDS -lt $deadline ]; do
  port=$(sed -n 's/^Simulated device on //p' "$dir/sim.log" | head -n 1)
  [ -n "$port" ] || sleep 0.05
done
[ -n "$port" ] || { cat "$dir/sim.log" >&2; echo "kavro-sim did not report its port" >&2; exit 1; }

# expect_run LOG WANTED_PORT_BOX [kavro options...]: one unattended run that
# connects to the device and closes the window as the operator would.
expect_run() {
  local log=$1 box=$2; shift 2
  if ! timeout 90 kavro --autorun-connect "$@" >"$log" 2>&1; then
    cat "$log" >&2; echo "the installed application did not connect and close" >&2; return 1
  fi
  grep -qxF "autorun: port box \"$box\"" "$log" \
    || { cat "$log" >&2; echo "the port box did not show \"$box\"" >&2; return 1; }
  grep -qxF "autorun: connected \"$port\"" "$log" \
    || { cat "$log" >&2; echo "the application did not connect to $port" >&2; return 1; }
}

expect_run "$dir/first.log" "$port" --port "$port"
grep -qxF "PortName=$port" "$XDG_CONFIG_HOME/KAVRO.conf" \
  || { cat "$XDG_CONFIG_HOME/KAVRO.conf" >&2; echo "the port was not remembered in KAVRO.conf" >&2; exit 1; }
[ ! -e /usr/bin/kavro.cfg ] || { echo "a settings file appeared beside the installed program" >&2; exit 1; }
expect_run "$dir/second.log" "$port"
echo "the installed application remembered $port across two runs"
