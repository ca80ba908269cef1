# libsodium for Windows, cross-built with mingw-w64 from Debian's own
# libsodium source package as a static library (Debian has no mingw build of
# it). Sourced by the Windows scripts (ROOT set, scripts/lib.sh loaded);
# `./kavro.sh libsodium-mingw` builds it alone.
#
# Cached outside every build folder beside wxMSW, keyed by the source
# package's version:
#   ${KAVRO_CACHE:-$HOME/.cache/kavro}/libsodium-VERSION/   (the installed prefix)
# libsodium_mingw_prefix prints that folder, building it first when it is missing.

LIBSODIUM_MINGW_PACKAGES=(dpkg-dev g++-mingw-w64-x86-64-posix make xz-utils autoconf automake libtool)

# shellcheck source=scripts/wxmsw.sh
source "$ROOT/scripts/wxmsw.sh" --functions  # the deb-src set-up (wxmsw_enable_sources)

libsodium_source_version() {
  apt-cache showsrc libsodium 2>/dev/null | awk '/^Version:/ {print $2; exit}'
}

libsodium_mingw_build() {
  local prefix=$1 version=$2 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/kavro-libsodium.XXXXXX")
  log "building libsodium $version for mingw-w64 into $prefix (a few minutes, once per machine)"
  (
    set -euo pipefail
    cd "$work"
    apt-get source --download-only "libsodium=$version" >/dev/null
    # Unpacked with Debian's patches (its security fixes) applied; the
    # tarball holds no configure script, so it is made as Debian's build does.
    dpkg-source -x libsodium_*.dsc src > unpack.log 2>&1 || { cat unpack.log; exit 1; }
    (cd src && autoreconf -fi) > autoreconf.log 2>&1 || { tail -30 autoreconf.log; exit 1; }
    local src=src
    mkdir build && cd build
    # Configured for the final prefix and installed into a staging folder,
    # which then takes the cache's name.
    "../$src/configure" --prefix="$prefix" \
      --host=x86_64-w64-mingw32 --build=x86_64-pc-linux-gnu \
      CC=x86_64-w64-mingw32-gcc-posix --disable-shared --enable-static > configure.log 2>&1 \
      || { tail -30 configure.log; exit 1; }
    make -j "$JOBS" > make.log 2>&1 || { tail -40 make.log; exit 1; }
    make install DESTDIR="$work/stage" > install.log 2>&1 || { tail -20 install.log; exit 1; }
    rm -rf "$prefix.partial"
    mv "$work/stage$prefix" "$prefix.partial"
  )
  local rc=$?
  rm -rf "$work"
  [ $rc -eq 0 ] || { rm -rf "$prefix.partial"; return $rc; }
  # Only a finished install takes the cache's name, so an interrupted build is never used.
  mv "$prefix.partial" "$prefix"
}

libsodium_mingw_prefix() {
  need_packages "${LIBSODIUM_MINGW_PACKAGES[@]}" >&2
  local version
  version=$(libsodium_source_version)
  if [ -z "$version" ]; then
    wxmsw_enable_sources >&2
    version=$(libsodium_source_version)
  fi
  [ -n "$version" ] || { echo "libsodium-mingw: Debian's libsodium source package cannot be found" >&2; return 1; }
  local prefix="${KAVRO_CACHE:-$HOME/.cache/kavro}/libsodium-${version//[:+~]/_}"
  if [ ! -f "$prefix/lib/libsodium.a" ]; then
    mkdir -p "$(dirname "$prefix")"
    # One build per machine: a second caller waits for the first one's result.
    (
      flock 9
      [ -f "$prefix/lib/libsodium.a" ] || libsodium_mingw_build "$prefix" "$version"
    ) 9>"$prefix.lock" >&2 || return 1
  fi
  printf '%s\n' "$prefix"
}

if [ "${1:-}" != "--functions" ]; then
  libsodium_mingw_prefix
fi
