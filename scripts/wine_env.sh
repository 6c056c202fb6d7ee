# Sourced by the scripts that run the Windows build under Wine:
#   . scripts/wine_env.sh
# Sets up one Wine prefix in a fixed place (made once, quietly, headless and
# without questions), silences Wine's debug output, keeps Mono and Gecko from
# being offered, and starts a persistent wineserver so that later runs start
# fast. Afterwards `wine64 prog.exe` (and $QUARVEL_WINE) runs a Windows
# program of the build. Works as root and without a display.
#
# QUARVEL_WINEPREFIX chooses another prefix (default
# $HOME/.cache/quarvel/wine). Every process of one prefix shares one
# wineserver, and so the program's instance lock: runs of two checkouts in
# one prefix wait for each other. quarvel_wine_stop ends the wineserver.

export WINEPREFIX="${QUARVEL_WINEPREFIX:-${HOME:-/root}/.cache/quarvel/wine}"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers, no menu entries or file associations.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Debian installs the 64-bit loader outside PATH.
for _quarvel_dir in /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /opt/wine-stable/bin; do
  if [ -x "$_quarvel_dir/wine64" ]; then
    case ":$PATH:" in
      *":$_quarvel_dir:"*) ;;
      *) PATH="$PATH:$_quarvel_dir" ;;
    esac
  fi
done
unset _quarvel_dir
export PATH
QUARVEL_WINE="$(command -v wine64 || command -v wine)"
export QUARVEL_WINE

quarvel_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Makes the prefix once. A lock keeps two scripts from making it together;
# a marker written last tells a finished prefix from an interrupted one.
_quarvel_wine_prepare() {
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.quarvel-ready" ]; then
      rm -rf "$WINEPREFIX"
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w </dev/null >/dev/null 2>&1
      if [ -f "$WINEPREFIX/system.reg" ]; then
        touch "$WINEPREFIX/.quarvel-ready"
      else
        echo "wine_env.sh: wineboot could not make $WINEPREFIX" >&2
        exit 1
      fi
    fi
  ) 9>"$WINEPREFIX.lock"
}

if _quarvel_wine_prepare; then
  # Detached from the caller's output: a daemon that keeps a pipe open would
  # keep whoever reads it waiting. Does nothing when one is running already.
  wineserver -p </dev/null >/dev/null 2>&1 || true
else
  echo "wine_env.sh: Wine is not usable" >&2
fi
