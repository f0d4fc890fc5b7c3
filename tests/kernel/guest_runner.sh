#!/bin/sh
# Does what the host asks on the control line: one command a line, each answered by data lines
# ("out TEXT", "err TEXT") and then one last line, "ok VALUE" or "fail WHY". Loaders run in the
# background under the host's name for them, their output in files until "wait" sends it.
#   start NAME ARG...           /bin/velmar-load ARG..., in the background
#   tell NAME TEXT              a line to its standard input (a fifo it holds open itself)
#   wait NAME                   its standard output and error, then its exit status
#   signal NAME SIGNAL          kill -SIGNAL (KILL: and reap it, its status kept for wait)
#   read PATH                   a file's first line (a sysfs attribute)
#   show PATH                   a file's lines
#   await PATH present|absent   until the device node is there, or gone
#   await-output NAME TEXT      until the loader's standard output holds TEXT
#   await-lines PATH N          until the file has N whole lines
#   poweroff
# An await gives up after 20 s, sooner than the host's deadline for the answer, so that the
# host hears "fail" rather than nothing.
set -f
line=$1
stty -F "$line" 115200 raw -echo
exec <"$line" >"$line"

# Polls `$@` every 50 ms for at most 20 s.
poll() {
  tries=400
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.05
  done
}

node_is() {
  if [ "$2" = present ]; then [ -e "$1" ]; else [ ! -e "$1" ]; fi
}

output_holds() {
  grep -qF -- "$2" "/tmp/$1.out"
}

has_lines() {
  [ -e "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]
}

send_file() {
  while IFS= read -r text || [ -n "$text" ]; do
    printf '%s %s\n' "$1" "$text"
  done <"$2"
}

if poll node_is /dev/ttyUSB0 present && poll node_is /dev/ttyUSB1 present; then
  echo ready
else
  echo "fail /dev/ttyUSB0 or /dev/ttyUSB1 did not appear"
fi

while read -r command name rest; do
  case "$command" in
    start)
      # Opened read-write, the fifo neither blocks the open nor ever ends: the loader is a
      # writer itself. (So tell a loader that is still running, or the write open waits.)
      rm -f "/tmp/$name.in" "/tmp/$name.status" && mkfifo "/tmp/$name.in"
      # shellcheck disable=SC2086 # the arguments are words without blanks
      /bin/velmar-load $rest <>"/tmp/$name.in" >"/tmp/$name.out" 2>"/tmp/$name.err" &
      echo $! >"/tmp/$name.pid"
      echo "ok $!"
      ;;
    wait)
      if [ -e "/tmp/$name.status" ]; then
        status=$(cat "/tmp/$name.status")
        rm -f "/tmp/$name.status"
      else
        wait "$(cat "/tmp/$name.pid")"
        status=$?
      fi
      send_file out "/tmp/$name.out"
      send_file err "/tmp/$name.err"
      echo "ok $status"
      ;;
    signal)
      if kill "-$rest" "$(cat "/tmp/$name.pid")"; then
        # A killed loader is reaped here: its end, which can come seconds later once its ports
        # are closed, must not interrupt the read of the next command (ash then loses the part
        # of the line it had read).
        if [ "$rest" = KILL ]; then
          wait "$(cat "/tmp/$name.pid")"
          echo $? >"/tmp/$name.status"
        fi
        echo ok
      else
        echo "fail kill"
      fi
      ;;
    tell)
      if echo "$rest" >"/tmp/$name.in"; then echo ok; else echo "fail cannot write"; fi
      ;;
    show)
      send_file out "$name"
      echo ok
      ;;
    await-lines)
      if poll has_lines "$name" "$rest"; then echo ok; else echo "fail not $rest lines"; fi
      ;;
    read)
      if value=$(head -n 1 "$name"); then echo "ok $value"; else echo "fail cannot read"; fi
      ;;
    await)
      if poll node_is "$name" "$rest"; then echo ok; else echo "fail $name not $rest"; fi
      ;;
    await-output)
      if poll output_holds "$name" "$rest"; then echo ok; else echo "fail no $rest"; fi
      ;;
    poweroff)
      echo ok
      poweroff -f
      ;;
    *)
      echo "fail unknown command $command"
      ;;
  esac
done
poweroff -f
