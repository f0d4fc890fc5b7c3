#!/bin/sh
# The bench's cases through the Windows build's velmar-load.exe under Wine, headless:
#   bench/wine_bench.sh WINDOWS_BUILD LINUX_BUILD [--quick]
# LINUX_BUILD's emulator, paced at the real rate, serves a pseudo-terminal that the prefix
# names COM20; the table is velmar-bench's. One persistent Wine server for the whole run, so
# that no load pays for starting it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
shift 2
prefix=$windows/wineprefix
wine_sh=$here/../tests/windows/wine.sh

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
"$wine_sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1  # makes the prefix once
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
# Wine's start-up names the machine's serial ports; ours is named after it.
"$wine_sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1
"$linux/bench/velmar-bench" "$@" --port COM20 --link "$prefix/dosdevices/com20" -- \
  "$wine_sh" "$prefix" "$windows/cli/velmar-load.exe"
