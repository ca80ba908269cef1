# shellcheck shell=bash
# Shared by the tests and scripts that run Windows GUI programs under Wine on an
# X display (Xvfb): a Wine prefix of their own, simulated devices on COM ports,
# and windows found by title and driven by keys through xdotool. Source it
# from bash; the caller sets `set -eu` and a clean-up trap that calls
# wine_gui_cleanup.

WINE_GUI_PIDS=""

# wine_gui_begin: a temporary folder in $work, removed with everything the
# run started when the script ends; fail MESSAGE reports, shows the ends of
# the logs kept there, and ends the script.
wine_gui_begin() {
  work=$(mktemp -d)
  trap 'wine_gui_cleanup; rm -rf "$work"' EXIT
}
fail() {
  echo "FAIL: $*"
  local log
  for log in "$work"/*.log; do
    [ -f "$log" ] || continue
    echo "--- $(basename "$log")"
    tail -n 20 "$log"
  done
  exit 1
}

# wine_gui_prefix DIR: a prefix in DIR (created on first use, 5 to 7 s), with
# no Wine server left from an earlier run: the server's desktop process keeps
# the display it was started on.
wine_gui_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineserver -k >/dev/null 2>&1 || true
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
}

# wine_gui_sim COM SIM LOG [kavro-sim options...]: a simulated device behind
# COM (COM12 style), logging every request to LOG.
wine_gui_sim() {
  local com=$1 sim=$2 log=$3
  shift 3
  local link
  link="$WINEPREFIX/dosdevices/${com,,}"
  rm -f "$link"
  "$sim" --link "$link" "$@" >"$log" 2>&1 &
  WINE_GUI_PIDS="$WINE_GUI_PIDS $!"
  for _ in $(seq 100); do
    [ -L "$link" ] && return 0
    sleep 0.1
  done
  cat "$log" >&2
  echo "kavro-sim did not start on $com" >&2
  return 1
}

# wine_gui_start LOG PROGRAM ARGS...: a Windows program in the background; its
# process id in WINE_GUI_PID.
wine_gui_start() {
  local log=$1
  shift
  wine "$@" >"$log" 2>&1 &
  WINE_GUI_PID=$!
  WINE_GUI_PIDS="$WINE_GUI_PIDS $WINE_GUI_PID"
}

# wine_gui_window TITLE-REGEX SECONDS: prints the id of the visible window
# whose whole title matches, once there is one; fails after SECONDS.
wine_gui_window() {
  local end=$(($(date +%s) + $2)) id
  while [ "$(date +%s)" -le "$end" ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
    if [ -n "$id" ]; then
      printf '%s\n' "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# wine_gui_no_window TITLE-REGEX SECONDS: succeeds once no visible window has that title.
wine_gui_no_window() {
  local end=$(($(date +%s) + $2))
  while [ "$(date +%s)" -le "$end" ]; do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}

# wine_gui_keys WINDOW KEY...: focuses the window (without a window manager
# key presses reach only the focused window), then presses the keys in turn.
wine_gui_keys() {
  local window=$1 key
  shift
  xdotool windowfocus --sync "$window"
  for key in "$@"; do
    xdotool key --delay 100 "$key"
  done
}

# wine_gui_wait_exit PID SECONDS: succeeds once the process has ended.
wine_gui_wait_exit() {
  local end=$(($(date +%s) + $2))
  while [ "$(date +%s)" -le "$end" ]; do
    kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null || true; return 0; }
    sleep 0.2
  done
  return 1
}

# wine_gui_wait_line FILE REGEX SECONDS [COUNT]: succeeds once COUNT lines
# (1 unless given) of FILE match.
wine_gui_wait_line() {
  local end=$(($(date +%s) + $3)) count
  while [ "$(date +%s)" -le "$end" ]; do
    count=$(grep -cE "$2" "$1" 2>/dev/null) || true
    [ "${count:-0}" -ge "${4:-1}" ] && return 0
    sleep 0.2
  done
  return 1
}

wine_gui_cleanup() {
  local pid
  for pid in $WINE_GUI_PIDS; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  WINE_GUI_PIDS=""
  wineserver -k >/dev/null 2>&1 || true
}
