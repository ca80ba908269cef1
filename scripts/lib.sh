# Shared functions of kavro.sh and the scripts it runs. Source it; ROOT must be set.
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

BASE_PACKAGES=(build-essential cmake libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev libwxgtk3.2-dev libx11-dev
               xvfb xauth fonts-liberation libudev-dev libsqlite3-dev sqlite3 libpq-dev postgresql
               gettext fonts-noto-cjk ccache libsodium-dev libcpp-httplib-dev)
# What only the tests use: promtool and a Prometheus server check the station's metrics;
# Chromium driven by Selenium checks its web console in a real browser.
TEST_PACKAGES=(prometheus chromium chromium-driver python3-selenium)

# The compiler cache, where there is one: paths are taken relative to the
# checkout, so a fresh clone in another folder reuses what an earlier build of
# the same sources compiled.
# Sets CACHE_OPTIONS for cmake's configure step.
use_compiler_cache() {
  CACHE_OPTIONS=()
  command -v ccache >/dev/null 2>&1 || return 0
  export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
  CACHE_OPTIONS=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
}

# configure_build DIR [cmake options...]
configure_build() {
  local dir=$1; shift
  use_compiler_cache
  cmake -S "$ROOT" -B "$ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${CACHE_OPTIONS[@]}" "$@" > "$ROOT/$dir.configure.log" 2>&1 \
    || { cat "$ROOT/$dir.configure.log"; return 1; }
  cmake --build "$ROOT/$dir" -j "$JOBS"
}

# run_ctest DIR [ctest options...]: the GUI tests need a display, so the suite runs under Xvfb.
run_ctest() {
  local dir=$1; shift
  local home
  home=$(mktemp -d)
  # "|| rc=$?" keeps a failing run from ending the script under set -e
  # before the temporary HOME is removed.
  local rc=0
  (cd "$ROOT/$dir" && HOME="$home" XDG_CONFIG_HOME="$home/.config" \
     xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$JOBS" "$@") || rc=$?
  rm -rf "$home"
  return $rc
}

# start_simulator SIM LOG [kavro-sim options...]: starts kavro-sim in the
# background (--quiet, output in LOG) and waits up to 10 s for the line that
# names its port. Sets SIM_PID and SIM_PORT; on failure shows LOG and returns 1.
start_simulator() {
  local sim=$1 log=$2; shift 2
  "$sim" --quiet "$@" >"$log" 2>&1 &
  SIM_PID=$!
  SIM_PORT=""
  local _
  for _ in $(seq 1 100); do
    SIM_PORT=$(sed -n 's/^Simulated device on //p' "$log" | head -n 1)
    [ -n "$SIM_PORT" ] && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  echo "kavro-sim did not report its port" >&2
  return 1
}

