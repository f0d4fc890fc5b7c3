#!/bin/bash
# The bash completion in real bash with bash-completion: each row a command line (completed at
# its end) and the replies expected, sorted. velmar-load's ports come from a stand-in loader
# that lists two adapters as --list-ports does.
#   completion.sh COMPLETION
set -u
source /usr/share/bash-completion/bash_completion
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -p bin d/sub
touch d/a.bin d/b.fnt d/notes.txt list.txt
printf '#!/bin/sh\n[ "$1" = --list-ports ] && printf "%s\\t%s\\n" %s\n' '%s' '%s' \
    '/dev/ttyUSB0 "FT232R USB UART, 0403:6001" /dev/ttyUSB10 ftdi_sio /dev/ttyS0 serial8250' \
    > bin/velmar-load
chmod +x bin/velmar-load
PATH=$dir/bin:$PATH

rows=(
    'velmar-load --col|--color --color='
    'velmar-load --color=n|never'
    'velmar-load --color d/|d/a.bin d/b.fnt d/sub'
    'velmar-load -b 96|9600'
    'velmar-load --baud=1|115200 14400 19200'
    'velmar-load -p /dev/ttyU|/dev/ttyUSB0 /dev/ttyUSB10'
    'velmar-load -p /dev/ttyUSB0 d/|d/a.bin d/b.fnt d/sub'
    'velmar-load --record l|list.txt'
    'velmar-load --trace-dir d/|d/sub'
    'velmar-load --tcp-port |'
    'velmar-printer --fault bad-c|bad-command bad-crc'
    'velmar --v|--version'
)
failed=0
for row in "${rows[@]}"; do
    line=${row%%|*} want=${row#*|}
    COMP_LINE=$line COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    # bash splits "--opt=value" at the "=", and the completion joins it back.
    words=()
    for word in "${COMP_WORDS[@]}"; do
        [[ $word == --*=* ]] && words+=("${word%%=*}" = "${word#*=}") || words+=("$word")
    done
    COMP_WORDS=("${words[@]}") COMP_CWORD=$((${#words[@]} - 1))
    COMPREPLY=()
    function=$(complete -p "${words[0]}" | grep -oE -- '-F [^ ]+' | cut -c4-)
    "$function" "${words[0]}" "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [ "$got" != "$want" ]; then
        echo "'$line': got '$got', want '$want'"
        failed=1
    fi
done
exit $failed
