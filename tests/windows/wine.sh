#!/bin/sh
# Runs a Windows program under Wine, headless (unless VELMAR_WINE_DISPLAY=1 keeps the display),
# in the prefix given first (made on first use):
#   tests/windows/wine.sh PREFIX PROGRAM.exe [ARGUMENTS...]
# No display, no Mono or Gecko installers, no debug chatter; the exit status is the program's.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
[ "${VELMAR_WINE_DISPLAY:-}" = 1 ] || unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  # Two first uses at once (ctest -j2) would both make it: the first one makes it, under a lock.
  mkdir -p "$prefix"
  (
    flock 9
    [ -f "$prefix/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  ) 9>"$prefix.lock"
fi
exec wine "$@"
