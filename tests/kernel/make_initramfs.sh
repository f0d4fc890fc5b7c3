#!/bin/sh
# The guest's initramfs, made at test time from what this machine has installed:
#   make_initramfs.sh OUTPUT KERNEL_RELEASE DATA_DIR PROGRAM...
# busybox (its applets linked at boot), the kernel's own USB serial modules in load order, each
# PROGRAM in /bin with the shared libraries ldd names (at their own paths, so that the guest's
# loader finds them as here), DATA_DIR's files in /data, guest_init.sh as /init and
# guest_runner.sh as /bin/runner. An uncompressed newc archive: the kernel takes it as it is.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
output=$1
release=$2
data=$3
shift 3

# In load order: each needs the ones before it.
modules="usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/bin" "$stage/dev" "$stage/proc" "$stage/sys" "$stage/tmp" "$stage/data" \
  "$stage/lib/modules"

# Copies a program and whatever it links to; a static one links to nothing.
with_libraries() {
  cp "$1" "$2"
  ldd "$1" 2>/dev/null | sed -n 's/.*[[:space:]]\(\/[^[:space:]]*\) (0x.*/\1/p' |
    while read -r library; do
      mkdir -p "$stage$(dirname "$library")"
      cp -L "$library" "$stage$library"
    done
}

with_libraries "$(command -v busybox)" "$stage/bin/busybox"
ln -s busybox "$stage/bin/sh"
for program in "$@"; do
  with_libraries "$program" "$stage/bin/$(basename "$program")"
done

for module in $modules; do
  path=$(modinfo -k "$release" -n "$module")
  case "$path" in
    *.ko) ;;
    *) echo "make_initramfs.sh: $path: only uncompressed modules are taken" >&2; exit 1 ;;
  esac
  cp "$path" "$stage/lib/modules/"
  echo "$(basename "$path")" >>"$stage/lib/modules/order"
done

cp -R "$data/." "$stage/data/"
cp "$here/guest_init.sh" "$stage/init"
cp "$here/guest_runner.sh" "$stage/bin/runner"
chmod 755 "$stage/init" "$stage/bin/runner"

(cd "$stage" && find . | busybox cpio -o -H newc 2>/dev/null) >"$output"
