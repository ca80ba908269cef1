# Stage of ./kavro.sh test: the Debian package. Builds it, checks it with
# lintian (no errors; each warning kept must be named in docs/PACKAGING.md),
# desktop-file-validate and appstreamcli, installs it with its dependencies,
# runs the installed programs (the desktop application under Xvfb, twice, to
# see its port remembered), then purges it and checks nothing of it is left.
#
# Sourced by kavro.sh's test command (ROOT set, scripts/lib.sh loaded, set -euo pipefail).

package_stage() {
  need_packages lintian desktop-file-utils appstream bash-completion shared-mime-info xvfb xauth man-db bsdextrautils
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"

  source "$ROOT/scripts/package.sh"
  local deb=$PACKAGE_DEB
  [ -f "$deb" ] || { echo "package: no .deb built" >&2; return 1; }
  [ "$(basename "$deb")" = "kavro_2.9.0.14_$(dpkg --print-architecture).deb" ] \
    || { echo "package: unexpected file name $(basename "$deb")" >&2; return 1; }

  log "lintian $(basename "$deb")"
  local report
  report=$(lintian --fail-on error --display-level ">=warning" "$deb") \
    || { echo "$report" >&2; echo "package: lintian reports errors" >&2; return 1; }
  echo "${report:-no warnings}"
  local tag
  for tag in $(sed -n 's/^W: kavro[^:]*: \([^ ]*\).*/\1/p' <<<"$report" | sort -u); do
    grep -q "\`$tag\`" "$ROOT/docs/PACKAGING.md" \
      || { echo "package: lintian warning $tag is not explained in docs/PACKAGING.md" >&2; return 1; }
  done

  log "install $(basename "$deb")"
  $sudo dpkg --purge kavro >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
  local files
  files=$(dpkg -L kavro)

  log "the installed package"
  desktop-file-validate /usr/share/applications/org.kavro.Kavro.desktop
  appstreamcli validate --no-net /usr/share/metainfo/org.kavro.Kavro.metainfo.xml
  # (Output is read whole before grep sees it: grep -q on a pipe would cut the writer short.)
  grep -q "Name : KAVRO demo firmware" <<<"$(kavro-cli info)" || { echo "package: kavro-cli info" >&2; return 1; }
  [ "$(kavro-cli --version)" = "kavro-cli 2.9.0.14" ] || { echo "package: kavro-cli --version" >&2; return 1; }
  [ "$(env -u DISPLAY kavro --version)" = "kavro 2.9.0.14" ] || { echo "package: kavro --version" >&2; return 1; }
  grep -q "Simulated device on PATH" <<<"$(kavro-sim --help)" || { echo "package: kavro-sim --help" >&2; return 1; }
  # The installed catalogues: the command line finds them beside its bin folder.
  grep -q "Aktuelle SW-Version : 2.09" <<<"$(KAVRO_LANG=de kavro-cli info)" \
    || { echo "package: kavro-cli does not speak German" >&2; return 1; }
  bash "$ROOT/tests/package/installed_docs.sh"
  # A double click on a .fw file: the MIME database and the desktop database know them.
  grep -qxF "application/x-kavro-firmware:*.fw" /usr/share/mime/globs \
    || { echo "package: .fw is not in the MIME database" >&2; return 1; }
  grep -q "^application/x-kavro-firmware=.*org.kavro.Kavro.desktop" /usr/share/applications/mimeinfo.cache \
    || { echo "package: .fw files do not open in KAVRO" >&2; return 1; }
  grep -q 'TAG+="uaccess"' /usr/lib/udev/rules.d/70-kavro.rules || { echo "package: udev rule" >&2; return 1; }
  # The latency rule is an example the person opts in to, never active as installed.
  grep -q 'ATTR{latency_timer}="1"' /usr/share/doc/kavro/examples/71-kavro-latency.rules \
    && [ ! -e /usr/lib/udev/rules.d/71-kavro-latency.rules ] || { echo "package: latency rule" >&2; return 1; }
  bash "$ROOT/tests/package/completion.sh"

  log "the installed desktop application under Xvfb"
  local work
  work=$(mktemp -d)
  mkdir -p "$work/home/.config"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" NO_AT_BRIDGE=1 \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$ROOT/tests/package/installed_gui.sh" "$work" \
    || { rm -rf "$work"; $sudo dpkg --purge kavro >/dev/null; return 1; }
  rm -rf "$work"

  log "purge"
  $sudo dpkg --purge kavro >/dev/null
  ! dpkg-query -W -f='${Status}' kavro 2>/dev/null | grep -q "installed" \
    || { echo "package: still installed after purge" >&2; return 1; }
  local left=() path
  while IFS= read -r path; do
    # Directories the package shared with others (/usr/bin, ...) stay; its own files do not.
    case $path in
      /usr/share/doc/kavro) [ -e "$path" ] && left+=("$path") ;;
      *) [ -e "$path" ] && [ ! -d "$path" ] && left+=("$path") ;;
    esac
  done <<<"$files"
  [ ${#left[@]} -eq 0 ] || { printf 'package: left after purge: %s\n' "${left[@]}" >&2; return 1; }
  echo "purged: none of the $(wc -l <<<"$files") paths of the package is left"
}

package_stage
