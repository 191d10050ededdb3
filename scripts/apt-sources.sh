# Sourced by the scripts that build from Debian's source packages. Adds deb-src entries for the
# archives the machine installs from when apt knows no source packages (needs root): derived from
# the machine's own apt sources, never a written-in address.
ensure_source_entries() {
  local probe=$1
  [ -z "$(apt-cache showsrc "$probe" 2>/dev/null)" ] || return 0
  local sources
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] || continue
    case "$sources" in *-src.sources) continue ;; esac
    sed 's/^Types: deb$/Types: deb-src/' "$sources" >"${sources%.sources}-src.sources"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/sources-list-src.list
  fi
  apt-get update -qq || echo "apt-sources: some source lists did not update" >&2
}
