#!/bin/sh
# The Windows build's tests under Wine, headless but for the window's (on Xvfb):
#   tests/windows/run.sh WINDOWS_BUILD LINUX_BUILD
# First the core's test programs (CTest in WINDOWS_BUILD runs each .exe through wine.sh), then
# loads through WINDOWS_BUILD's velmar-load.exe into LINUX_BUILD's emulated printer, over
# pseudo-terminals named as COM ports in the prefix and over TCP (wine_load_test); last the
# installer and zip, in a prefix of their own (installer_test.sh).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
prefix=$windows/wineprefix

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

# One Wine server, persistent, and Wine's own services for the whole run, started here with no
# pipe of the tests as their output: a server that a test's program started would hold that
# program's output open after it ended, and each program would pay for starting them again.
# Wine's start-up also points dosdevices/com1 (and more, one per /dev/ttyS*) at the machine's
# serial ports, so the tests name their ports only once it is over, and it happens only here.
"$here/wine.sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1  # makes the prefix once
wineserver -k 2>/dev/null || true  # a server of an earlier run, which would not stay
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
"$here/wine.sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1

# The window on a display of its own: window_win32_test.exe drives velmar.exe, each case with
# the emulated printer it needs (wine_window_test). With VELMAR_SCREENSHOT set, only the
# picture of the window mid-load is taken, into that file.
window_tests() {
  VELMAR_WINDOW_TEST="$windows/tests/window_win32/window_win32_test.exe" VELMAR_WINEPREFIX="$prefix" \
    xvfb-run -a --server-args="-screen 0 1024x768x24" "$linux/tests/window_win32/wine_window_test" "$@"
}
if [ -n "${VELMAR_SCREENSHOT:-}" ]; then
  window_tests --gtest_filter='*Screenshot'
  exit
fi

start=$(date +%s)
(cd "$windows" && ctest --output-on-failure --timeout 300 -j2)
VELMAR_WINDOWS_LOAD="$windows/cli/velmar-load.exe" VELMAR_WINEPREFIX="$prefix" \
  "$linux/tests/windows/wine_load_test"
window_tests
echo "Windows tests under Wine: $(( $(date +%s) - start )) s"
"$here/installer_test.sh" "$windows" "$linux"
