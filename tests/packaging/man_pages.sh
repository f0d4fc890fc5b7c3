#!/bin/bash
# The manual pages against the programs they describe.
#   man_pages.sh options SOURCES COMPLETION NAME=PROGRAM...  each page's OPTIONS, the program's
#       --help and its completion's offer for "NAME -" list the same options
#   man_pages.sh render PAGE...  groff renders each page without a warning
set -u
mode=$1
shift
failed=0

# Short and long options at the start of --help's option lines ("  -p, --port NAME  ...").
help_options() {
    "$1" --help | grep -oE '^ +(-[A-Za-z], +)?--?[A-Za-z][A-Za-z0-9-]*' | grep -oE -- '-[^ ,]+'
}

# The options an OPTIONS entry's term line names (*-p*, *--port* _NAME_).
page_options() {
    sed -n '/^# OPTIONS/,/^# /p' "$1" | grep -E '^\*-' | grep -oE -- '\*--?[A-Za-z][A-Za-z0-9-]*\*' |
        tr -d '*'
}

completion_options() {
    (
        source /usr/share/bash-completion/bash_completion
        source "$2"
        COMP_WORDS=("$1" -) COMP_CWORD=1 COMP_LINE="$1 -" COMP_POINT=${#COMP_LINE}
        "$(complete -p "$1" | grep -oE -- '-F [^ ]+' | cut -c4-)" "$1" - "$1"
        printf '%s\n' "${COMPREPLY[@]}" | sed 's/=$//'
    )
}

case $mode in
options)
    sources=$1 completion=$2
    shift 2
    for pair in "$@"; do
        name=${pair%%=*} program=${pair#*=}
        help=$(help_options "$program" | sort -u)
        for from in page completion; do
            if [ $from = page ]; then
                listed=$(page_options "$sources/$name.1.scd" | sort -u)
            else
                listed=$(PATH=$(dirname "$program"):$PATH completion_options "$name" "$completion" |
                    sort -u)
            fi
            if [ "$help" != "$listed" ]; then
                echo "$name: --help and the $from differ (< --help, > $from):"
                diff <(echo "$help") <(echo "$listed") | grep '^[<>]'
                failed=1
            fi
        done
    done
    ;;
render)
    for page in "$@"; do
        # -k reads the page as UTF-8, as man does; any word on standard error is a fault.
        warnings=$(groff -k -Tutf8 -man -ww -z "$page" 2>&1)
        if [ -n "$warnings" ]; then
            echo "$page: $warnings"
            failed=1
        fi
    done
    ;;
esac
exit $failed
