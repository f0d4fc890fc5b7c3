#!/bin/sh
# The Windows packages under Wine, in a fresh prefix of their own:
#   tests/windows/installer_test.sh WINDOWS_BUILD LINUX_BUILD
# Installs WINDOWS_BUILD's velmar-VERSION-win64-setup.exe silently; checks the programs, the
# shortcut, the uninstall key and that the zip holds the same programs; loads the sample program
# through the installed loader into LINUX_BUILD's emulator; uninstalls silently and checks that
# nothing of it is left while the user's settings stay.
set -eu
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
setup=$(ls -t "$windows"/velmar-*-win64-setup.exe | head -n 1)
version=${setup##*/velmar-}
version=${version%-win64-setup.exe}
programs=velmar-load.exe
[ -f "$windows/window_win32/velmar.exe" ] && programs="velmar.exe $programs"
icon=${programs%% *}

export WINEPREFIX="$windows/installer-prefix" WINEDEBUG=-all WINEARCH=win64
# winemenubuilder would turn the shortcut into a menu entry of this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
root="$WINEPREFIX/drive_c/Program Files/velmar"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/velmar.lnk"
settings="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/velmar/settings.ini"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\velmar'
work=$(mktemp -d)
printer=

fail() {
  echo "installer test: $*" >&2
  exit 1
}
# within SECONDS COMMAND...: whether COMMAND succeeds within SECONDS.
within() {
  deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

start=$(date +%s)
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1 # one server for all that follows: each program starts at once
trap 'wineserver -k 2>/dev/null || true; kill $printer 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
wineboot -i >/dev/null 2>&1

wine "$setup" /S || fail "setup.exe /S exited with $?"
for program in $programs uninstall.exe; do
  [ -f "$root/$program" ] || fail "$program is not installed"
done
[ "$icon" != velmar.exe ] || [ -f "$shortcut" ] || fail "no Start Menu shortcut"
wine reg query "$key" | tr -d '\r' | sed 's/^ *//; s/    / /g' >"$work/key"
while read -r value; do
  grep -Fxq "$value" "$work/key" || fail "the uninstall key lacks '$value': $(cat "$work/key")"
done <<VALUES
DisplayName REG_SZ velmar
DisplayVersion REG_SZ $version
Publisher REG_SZ velmar maintainers
UninstallString REG_SZ "C:\\Program Files\\velmar\\uninstall.exe"
QuietUninstallString REG_SZ "C:\\Program Files\\velmar\\uninstall.exe" /S
DisplayIcon REG_SZ C:\\Program Files\\velmar\\$icon,0
InstallLocation REG_SZ C:\\Program Files\\velmar
NoModify REG_DWORD 0x1
NoRepair REG_DWORD 0x1
VALUES
grep -q '^EstimatedSize REG_DWORD 0x[1-9a-f]' "$work/key" || fail "no EstimatedSize"

unzip -q "${setup%-setup.exe}.zip" -d "$work/zip"
[ "$(ls "$work/zip" | tr '\n' ' ')" = "$(echo README.txt $programs | tr ' ' '\n' | sort | tr '\n' ' ')" ] ||
  fail "the zip holds $(ls "$work/zip")"
for program in $programs; do
  cmp -s "$work/zip/$program" "$root/$program" || fail "the zip's $program is not the installed one"
done

"$linux/emulator/velmar-printer" --link "$work/printer" --loads 1 >"$work/printer.out" 2>&1 &
printer=$!
within 20 test -e "$work/printer" || fail "the emulator did not start"
ln -sfn "$work/printer" "$WINEPREFIX/dosdevices/com1"
wine 'C:\Program Files\velmar\velmar-load.exe' -p COM1 -b 115200 \
  "Z:$(echo "$linux/samples/sample.bin" | tr / '\\')" >"$work/load.out" 2>&1 ||
  fail "the installed loader exited with $?: $(cat "$work/load.out")"
within 60 grep -q '^load 1:' "$work/printer.out" || fail "the emulator saw no load"
grep -q '^load 1:.*, complete$' "$work/printer.out" ||
  fail "the load is not complete: $(cat "$work/printer.out")"

mkdir -p "$(dirname "$settings")"
echo '[Settings]' >"$settings"
# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
wine 'C:\Program Files\velmar\uninstall.exe' /S || fail "uninstall.exe /S exited with $?"
within 60 test ! -e "$root" || fail "the uninstaller left $root"
[ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstaller left the uninstall key"
[ -f "$settings" ] || fail "the uninstaller removed the user's settings"
echo "Windows installer and zip under Wine: $(($(date +%s) - start)) s"
