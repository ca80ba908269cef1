# ./kavro.sh gui [--port NAME] [IMAGE.fw]: build, then open the desktop
# application. --port fills the port box; an image file opens as the document
# (the built-in image otherwise).
#
# Sourced by kavro.sh (ROOT set, scripts/lib.sh loaded, set -euo pipefail).

need_packages "${BASE_PACKAGES[@]}"
log "build (build/)"
configure_build build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: set DISPLAY (or run under xvfb-run) to open the desktop application." >&2
  exit 1
fi
log "desktop application"
"$ROOT/build/ui/kavro" "$@"
