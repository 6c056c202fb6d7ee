# Sourced by the scripts that run the Windows build under Wine:
#   . scripts/wine_env.sh
# Sets up one Wine prefix in a fixed place (made once, quietly, headless and
# without questions), silences Wine's debug output, keeps Mono and Gecko from
# being offered, and starts a persistent wineserver so that later runs start
# fast. Afterwards `wine64 prog.exe` (and $QUARVEL_WINE) runs a Windows
# program of the x64 build, and of the x86 build when Wine's 32-bit part is
# installed. Works as root and without a display.
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
# a marker written first tells a prefix this script is making from someone
# else's, and one written last a finished prefix from an interrupted one.
# Only an interrupted prefix of its own is removed and made again: a folder
# that holds anything else (an operator's own prefix, with their C:\ in it)
# is refused and left as it is.
# A prefix made before Wine's 32-bit part was installed cannot run the x86
# build: it is updated once that part is there.
_quarvel_wine_prepare() {
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.quarvel-ready" ]; then
      if [ -f "$WINEPREFIX/.quarvel-making" ]; then
        rm -rf "$WINEPREFIX"
      elif [ -e "$WINEPREFIX" ] && ! rmdir "$WINEPREFIX" 2>/dev/null; then
        echo "wine_env.sh: $WINEPREFIX is not a prefix this script made; it is left as" \
          "it is. Set QUARVEL_WINEPREFIX to a new folder (or to an empty one)." >&2
        exit 1
      fi
      mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/.quarvel-making" || exit 1
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w </dev/null >/dev/null 2>&1
      if [ -f "$WINEPREFIX/system.reg" ]; then
        touch "$WINEPREFIX/.quarvel-ready" && rm -f "$WINEPREFIX/.quarvel-making"
      else
        echo "wine_env.sh: wineboot could not make $WINEPREFIX" >&2
        exit 1
      fi
    fi
    if [ "$QUARVEL_WINE32" = 1 ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
      # No `wineserver -w` here: a persistent wineserver of this prefix may
      # be running already and would never end; wineboot waits for its work.
      wineboot -u </dev/null >/dev/null 2>&1
      [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
        echo "wine_env.sh: could not add 32-bit support to $WINEPREFIX" >&2
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Wine's 32-bit part (Debian wine32:i386) is installed and this machine runs
# it: some kernels run 64-bit programs only (execve of a 32-bit one fails).
_quarvel_wine_has_32bit() {
  for _quarvel_dir in /usr/lib/wine /usr/lib/i386-linux-gnu/wine /opt/wine-stable/bin; do
    if [ -f "$_quarvel_dir/wine" ] && "$_quarvel_dir/wine" --version >/dev/null 2>&1; then
      return 0
    fi
  done
  return 1
}

# QUARVEL_WINE32=1 when the x86 build can run here, else 0.
if _quarvel_wine_has_32bit; then QUARVEL_WINE32=1; else QUARVEL_WINE32=0; fi
export QUARVEL_WINE32
unset _quarvel_dir

if _quarvel_wine_prepare; then
  # Detached from the caller's output: a daemon that keeps a pipe open would
  # keep whoever reads it waiting. Does nothing when one is running already.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  # The first program of a wineserver starts Wine's service processes
  # (services.exe, winedevice.exe, ...), which keep that program's standard
  # output and error for as long as the persistent wineserver lives: a
  # caller that reads them through a pipe would wait for their end forever.
  # Started here, detached, they hold nothing of the caller's. Quick when
  # they run already.
  "$QUARVEL_WINE" wineboot </dev/null >/dev/null 2>&1 || true
else
  echo "wine_env.sh: Wine is not usable" >&2
fi
