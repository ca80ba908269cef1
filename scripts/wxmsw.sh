# wxWidgets for Windows (wxMSW), cross-built with mingw-w64 from Debian's own
# wxwidgets3.2 source package, static and minimal. Sourced by kavro.sh and the
# Windows scripts (ROOT set, scripts/lib.sh loaded); `./kavro.sh wxmsw` builds
# it alone.
#
# The build takes about 9 minutes on 2 cores, so it is cached outside every
# build folder, keyed by the source package's version:
#   ${KAVRO_CACHE:-$HOME/.cache/kavro}/wxmsw-VERSION/   (the installed prefix)
# wxmsw_prefix prints that folder, building it first when it is missing.

WXMSW_PACKAGES=(dpkg-dev g++-mingw-w64-x86-64-posix libz-mingw-w64-dev make xz-utils)

# Debian's source packages are reachable once a deb-src entry mirrors the deb one.
wxmsw_enable_sources() {
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    local src=/etc/apt/sources.list.d/debian.sources
    [ -f "$src" ] || { echo "wxmsw: no $src to mirror as deb-src" >&2; return 1; }
    # The first stanza of the Debian entry, as a source entry of its own.
    awk 'BEGIN{RS=""; ORS="\n\n"} NR==1 {sub(/Types: deb/, "Types: deb-src"); print}' "$src" \
      | $sudo tee /etc/apt/sources.list.d/kavro-deb-src.sources >/dev/null
  fi
  $sudo apt-get update -qq
}

wxmsw_version() {
  apt-cache showsrc wxwidgets3.2 2>/dev/null | awk '/^Version:/ {print $2; exit}'
}

wxmsw_build() {
  local prefix=$1 version=$2 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/kavro-wxmsw.XXXXXX")
  log "building wxMSW $version into $prefix (about 9 minutes, once per machine)"
  (
    set -euo pipefail
    cd "$work"
    apt-get source --download-only "wxwidgets3.2=$version" >/dev/null
    local tarball
    tarball=$(ls wxwidgets3.2_*.orig.tar.* | head -1)
    tar xf "$tarball"
    local src
    src=$(find . -maxdepth 1 -type d -name 'wxwidgets*' -o -maxdepth 1 -type d -name 'wxWidgets*' | head -1)
    mkdir build && cd build
    # Configured for the final prefix (wx-config and its symbolic link name it)
    # and installed into a staging folder, which then takes the cache's name.
    "../$src/configure" --prefix="$prefix" \
      --host=x86_64-w64-mingw32 --build=x86_64-pc-linux-gnu \
      CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
      --with-msw --disable-shared --with-zlib=sys --without-libpng --without-libjpeg \
      --without-libtiff --without-expat --without-regex --without-liblzma --disable-svg \
      --disable-webview --disable-mediactrl --disable-stc --disable-richtext --disable-propgrid \
      --disable-ribbon --disable-aui --disable-xrc --disable-html > configure.log 2>&1 \
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

wxmsw_prefix() {
  need_packages "${WXMSW_PACKAGES[@]}" >&2
  local version
  version=$(wxmsw_version)
  if [ -z "$version" ]; then
    wxmsw_enable_sources >&2
    version=$(wxmsw_version)
  fi
  [ -n "$version" ] || { echo "wxmsw: Debian's wxwidgets3.2 source package cannot be found" >&2; return 1; }
  local prefix="${KAVRO_CACHE:-$HOME/.cache/kavro}/wxmsw-${version//[:+~]/_}"
  if [ ! -x "$prefix/bin/wx-config" ]; then
    mkdir -p "$(dirname "$prefix")"
    # One build per machine: a second caller waits for the first one's result.
    (
      flock 9
      [ -x "$prefix/bin/wx-config" ] || wxmsw_build "$prefix" "$version"
    ) 9>"$prefix.lock" >&2 || return 1
  fi
  printf '%s\n' "$prefix"
}

# `./kavro.sh wxmsw`: build it when missing and print the prefix. Scripts that
# only want the functions source this file with --functions.
if [ "${1:-}" != "--functions" ]; then
  wxmsw_prefix
fi
