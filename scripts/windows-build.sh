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
# image digests on a static libsodium (likewise, scripts/libsodium-mingw.sh).
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
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_BUILD_GUI=ON \
    -DwxWidgets_CONFIG_EXECUTABLE="$wx_prefix/bin/wx-config" \
    -DKAVRO_SODIUM_PREFIX="$sodium_prefix" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$JOBS" --target "$@"
}
