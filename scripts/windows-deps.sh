# What the records need on Windows, cross-built with mingw-w64 from Debian's
# own source packages (Debian has no mingw build of any of them), static, so
# that kavro.exe and kavro-cli.exe import only system DLLs:
#   SQLite   (sqlite3 source package, its amalgamation)
#   OpenSSL  (openssl, libcrypto and libssl: libpq's TLS)
#   libpq    (postgresql-15, the client library alone)
#   cpp-httplib (its one-header form, for the station's web console)
# Sourced by the Windows scripts (ROOT set, scripts/lib.sh loaded);
# `./kavro.sh windows-deps` builds what is missing and prints the prefixes.
#
# Cached beside wxMSW, each keyed by its source package's version:
#   ${KAVRO_CACHE:-$HOME/.cache/kavro}/NAME-VERSION/   (the installed prefix)
# (libpq's NAME names the OpenSSL version it was built with.)
# sqlite_mingw_prefix, openssl_mingw_prefix and libpq_mingw_prefix print
# their folder, building it first when it is missing (on 2 cores OpenSSL takes
# about 10 minutes, libpq 5, SQLite 2).

WINDOWS_DEPS_PACKAGES=(dpkg-dev g++-mingw-w64-x86-64-posix make xz-utils perl bison flex tcl)
MINGW_HOST=x86_64-w64-mingw32

# shellcheck source=scripts/wxmsw.sh
source "$ROOT/scripts/wxmsw.sh" --functions  # the deb-src set-up (wxmsw_enable_sources)

mingw_source_version() {
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2; exit}'
}

# mingw_dep_prefix NAME SOURCE-PACKAGE MARK BUILD-FUNCTION: the cached prefix
# NAME-VERSION holding MARK (a file relative to it), built by BUILD-FUNCTION
# PREFIX VERSION WORK STAGE when missing. BUILD-FUNCTION runs in WORK with
# Debian's source unpacked into WORK/src (its patches applied) and installs
# into STAGE, which takes the cache's name only once it is complete.
mingw_dep_prefix() {
  local name=$1 package=$2 mark=$3 build=$4
  need_packages "${WINDOWS_DEPS_PACKAGES[@]}" >&2
  local version
  version=$(mingw_source_version "$package")
  if [ -z "$version" ]; then
    wxmsw_enable_sources >&2
    version=$(mingw_source_version "$package")
  fi
  [ -n "$version" ] || { echo "windows-deps: Debian's $package source package cannot be found" >&2; return 1; }
  local prefix="${KAVRO_CACHE:-$HOME/.cache/kavro}/$name-${version//[:+~]/_}"
  if [ ! -f "$prefix/$mark" ]; then
    mkdir -p "$(dirname "$prefix")"
    # One build per machine: a second caller waits for the first one's result.
    (
      flock 9
      [ -f "$prefix/$mark" ] || mingw_dep_build "$prefix" "$package" "$version" "$build"
    ) 9>"$prefix.lock" >&2 || return 1
  fi
  printf '%s\n' "$prefix"
}

mingw_dep_build() {
  local prefix=$1 package=$2 version=$3 build=$4 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/kavro-$package.XXXXXX")
  log "building $package $version for mingw-w64 into $prefix (once per machine)"
  (
    set -euo pipefail
    cd "$work"
    apt-get source --download-only "$package=$version" >/dev/null 2>&1 || exit 1
    dpkg-source -x "${package}_"*.dsc src > unpack.log 2>&1 || { cat unpack.log; exit 1; }
    # (Each step checked: set -e does not hold in a caller's "||" list.)
    "$build" "$prefix" "$version" "$work" "$work/stage" || exit 1
    rm -rf "$prefix.partial"
    mv "$work/stage" "$prefix.partial" || exit 1
  )
  local rc=$?
  rm -rf "$work"
  [ $rc -eq 0 ] || { rm -rf "$prefix.partial"; return $rc; }
  # Only a finished install takes the cache's name, so an interrupted build is never used.
  mv "$prefix.partial" "$prefix"
}

# SQLite: the amalgamation (made from Debian's sources by their own build on
# this machine, which needs tclsh), compiled as a static library.
sqlite_mingw_build() {
  local work=$3 stage=$4
  mkdir -p "$work/amalgamation" && cd "$work/amalgamation"
  ../src/configure --disable-tcl > configure.log 2>&1 || { tail -30 configure.log; return 1; }
  make sqlite3.c > make.log 2>&1 || { tail -40 make.log; return 1; }
  mkdir -p "$stage/include" "$stage/lib"
  "$MINGW_HOST-gcc-posix" -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION \
    || return 1
  "$MINGW_HOST-ar" rcs "$stage/lib/libsqlite3.a" sqlite3.o || return 1
  cp sqlite3.h "$stage/include/"
}

sqlite_mingw_prefix() {
  mingw_dep_prefix sqlite-mingw sqlite3 lib/libsqlite3.a sqlite_mingw_build
}

# OpenSSL: libcrypto and libssl only (no programs, no tests).
openssl_mingw_build() {
  local prefix=$1 work=$3 stage=$4
  cd "$work/src"
  ./Configure mingw64 no-shared no-tests --cross-compile-prefix="$MINGW_HOST-" \
    --prefix="$prefix" --libdir=lib CC=gcc-posix CXX=g++-posix > configure.log 2>&1 \
    || { tail -30 configure.log; return 1; }
  make -j "$JOBS" build_libs > make.log 2>&1 || { tail -40 make.log; return 1; }
  make install_dev DESTDIR="$work/destdir" > install.log 2>&1 || { tail -20 install.log; return 1; }
  mv "$work/destdir$prefix" "$stage"
}

openssl_mingw_prefix() {
  mingw_dep_prefix openssl-mingw openssl lib/libssl.a openssl_mingw_build
}

# libpq with TLS through the cached OpenSSL. On Windows the client library's
# build makes a DLL with an import library; the static archive is made from
# the same objects, with the port and common code it needs.
LIBPQ_MINGW_LIBS="-lpgcommon_shlib -lpgport_shlib -lssl -lcrypto -lsecur32 -lws2_32 -lcrypt32 -lgdi32 -ladvapi32 -luser32 -lshell32 -lwldap32"

libpq_mingw_build() {
  local prefix=$1 work=$3 stage=$4 ssl
  ssl=$(openssl_mingw_prefix) || return 1
  cd "$work/src"
  ./configure --host="$MINGW_HOST" --build=x86_64-pc-linux-gnu --prefix="$prefix" \
    CC="$MINGW_HOST-gcc-posix" --with-ssl=openssl --without-readline --without-zlib --without-icu \
    --without-ldap --with-includes="$ssl/include" --with-libraries="$ssl/lib" \
    LIBS="-lcrypt32 -lws2_32 -lgdi32" > configure.log 2>&1 || { tail -30 configure.log; return 1; }
  make -C src/include > make.log 2>&1 || { tail -40 make.log; return 1; }
  make -C src/port -j "$JOBS" >> make.log 2>&1 || { tail -40 make.log; return 1; }
  make -C src/common -j "$JOBS" >> make.log 2>&1 || { tail -40 make.log; return 1; }
  make -C src/interfaces/libpq -j "$JOBS" >> make.log 2>&1 || { tail -40 make.log; return 1; }
  mkdir -p "$stage/include" "$stage/lib"
  rm -f "$stage/lib/libpq.a"
  (cd src/interfaces/libpq && "$MINGW_HOST-ar" rcs "$stage/lib/libpq.a" ./*.o)
  libpq_mingw_rename_pthread "$stage/lib/libpq.a" || return 1
  cp src/port/libpgport_shlib.a src/common/libpgcommon_shlib.a "$stage/lib/"
  cp src/interfaces/libpq/libpq-fe.h src/interfaces/libpq/libpq-events.h \
    src/include/postgres_ext.h src/include/pg_config_ext.h "$stage/include/"
  cp "$ssl/lib/libssl.a" "$ssl/lib/libcrypto.a" "$stage/lib/"
  # What a program linking libpq.a adds after it.
  printf '%s\n' "$LIBPQ_MINGW_LIBS" > "$stage/lib/libpq.link"
}

# libpq brings its own minimal pthread functions for Windows (pthread-win32.o,
# on its own types); the programs link mingw-w64's winpthreads, which defines
# the same names. libpq's are renamed in the archive, so each part keeps its own.
libpq_mingw_rename_pthread() {
  local archive=$1 symbols
  symbols=$(mktemp)
  "$MINGW_HOST-nm" "$archive" 2>/dev/null | awk '$2 == "T" && $3 ~ /^pthread_/ {print $3, "pq_" $3}' \
    | sort -u > "$symbols"
  "$MINGW_HOST-objcopy" --redefine-syms="$symbols" "$archive"
  local rc=$?
  rm -f "$symbols"
  return $rc
}

# Keyed by OpenSSL's version too: it carries OpenSSL's libraries, which an
# update of Debian's openssl (a security fix) must replace.
libpq_mingw_prefix() {
  local ssl_version
  ssl_version=$(mingw_source_version openssl)
  mingw_dep_prefix "libpq-mingw-openssl${ssl_version//[:+~]/_}" postgresql-15 lib/libpq.link libpq_mingw_build
}

# cpp-httplib: the one header that declares and defines the library, as the
# source package holds it (Debian's binary package splits it into a header that
# only declares and a Linux library). Nothing is compiled here: kavro_web
# compiles it with mingw-w64 and links ws2_32 and crypt32; TLS stays off.
httplib_mingw_build() {
  local work=$3 stage=$4
  grep -q '^inline bool Server::listen_after_bind' "$work/src/httplib.h" \
    || { echo "windows-deps: cpp-httplib's source holds no one-header httplib.h" >&2; return 1; }
  mkdir -p "$stage/include"
  cp "$work/src/httplib.h" "$work/src/LICENSE" "$stage/include/"
}

httplib_mingw_prefix() {
  mingw_dep_prefix httplib-mingw cpp-httplib include/httplib.h httplib_mingw_build
}

if [ "${1:-}" != "--functions" ]; then
  sqlite_mingw_prefix
  openssl_mingw_prefix
  libpq_mingw_prefix
  httplib_mingw_prefix
fi
