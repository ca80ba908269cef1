# ./kavro.sh package: a Release build in build-package/ with Debian's build
# flags, then CPack's DEB generator: build-package/kavro_<version>_<arch>.deb.
# Leaves the package's path in PACKAGE_DEB.
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded, set -euo pipefail).

PACKAGE_TOOLS=(dpkg-dev fakeroot file librsvg2-bin gzip)
need_packages "${BASE_PACKAGES[@]}" "${PACKAGE_TOOLS[@]}"

package_build() {
  local dir=build-package
  log "Release build for the package ($dir/)"
  # Debian's hardening flags, as a Debian build would pass them.
  local cppflags cxxflags ldflags
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  cxxflags=$(dpkg-buildflags --get CXXFLAGS)
  ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow dpkg-buildflags --get LDFLAGS)
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  configure_build "$dir" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release -DKAVRO_BUILD_TESTS=OFF -DKAVRO_PACKAGE_FILES=ON \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" ${KAVRO_PACKAGE_CMAKE_ARGS:-}
  log "CPack DEB"
  rm -f "$ROOT/$dir"/kavro_*.deb
  (cd "$ROOT/$dir" && cpack -G DEB > "$ROOT/$dir/cpack.log" 2>&1) \
    || { cat "$ROOT/$dir/cpack.log"; return 1; }
  PACKAGE_DEB=$(ls "$ROOT/$dir"/kavro_*.deb)
  dpkg-deb --field "$PACKAGE_DEB"
  echo "wrote $PACKAGE_DEB"
}

package_build
