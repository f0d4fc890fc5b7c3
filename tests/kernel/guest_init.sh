#!/bin/sh
# The guest's first process: the file systems, the USB serial modules in their order, then the
# runner on the control line (ttyS1). Its messages go to the kernel's console (ttyS0), which
# only a person reads.
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
while read -r module; do
  insmod "/lib/modules/$module" || echo "init: $module did not load"
done </lib/modules/order
exec /bin/runner /dev/ttyS1
