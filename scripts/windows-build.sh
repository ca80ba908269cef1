# The two builds behind the Windows scripts (test-windows, screenshot-windows).
# Sourced with ROOT set and scripts/lib.sh loaded; not a command of its own.

# windows_host_sim DIR: builds kavro-sim for this machine in DIR (configured
# once, without the GUI and the tests) and prints its path.
windows_host_sim() {
  local dir=$1
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_BUILD_GUI=OFF \
      -DKAVRO_BUILD_TESTS=OFF > "$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log" >&2; return 1; }
  fi
  cmake --build "$dir" -j "$JOBS" --target kavro-sim >&2
  printf '%s\n' "$dir/sim/kavro-sim"
}

# windows_cross_build DIR TARGET...: the mingw-w64 cross-build in DIR, the
# desktop application on wxMSW (built once per machine, scripts/wxmsw.sh),
# image digests on a static libsodium (likewise, scripts/libsodium-mingw.sh),
# unit records on static SQLite and libpq, the web console on cpp-httplib's one
# header (likewise, scripts/windows-deps.sh).
windows_cross_build() {
  local dir=$1
  shift
  need_packages build-essential cmake googletest libcli11-dev nlohmann-json3-dev g++-mingw-w64-x86-64-posix
  # shellcheck source=scripts/wxmsw.sh
  source "$ROOT/scripts/wxmsw.sh" --functions
  local wx_prefix
  wx_prefix=$(wxmsw_prefix)
  # shellcheck source=scripts/libsodium-mingw.sh
  source "$ROOT/scripts/libsodium-mingw.sh" --functions
  local sodium_prefix
  sodium_prefix=$(libsodium_mingw_prefix)
  # shellcheck source=scripts/windows-deps.sh
  source "$ROOT/scripts/windows-deps.sh" --functions
  local sqlite_prefix pq_prefix
  sqlite_prefix=$(sqlite_mingw_prefix)
  pq_prefix=$(libpq_mingw_prefix)
  local httplib_prefix
  httplib_prefix=$(httplib_mingw_prefix)
  use_compiler_cache
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" "${CACHE_OPTIONS[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_BUILD_GUI=ON \
    -DwxWidgets_CONFIG_EXECUTABLE="$wx_prefix/bin/wx-config" \
    -DKAVRO_SODIUM_PREFIX="$sodium_prefix" \
    -DSQLite3_INCLUDE_DIR="$sqlite_prefix/include" -DSQLite3_LIBRARY="$sqlite_prefix/lib/libsqlite3.a" \
    -DPostgreSQL_INCLUDE_DIR="$pq_prefix/include" -DPostgreSQL_LIBRARY="$pq_prefix/lib/libpq.a" \
    -DKAVRO_HTTPLIB_INCLUDE="$httplib_prefix/include" \
    > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$JOBS" --target "$@"
}
