#!/bin/bash
# The package's changelog, made from CHANGELOG.md: Debian's own parser reads it without a
# warning, its newest entry is this release, and every entry made it across.
#   changelog.sh CHANGELOG.md changelog.gz VERSION
set -u
text=$(mktemp)
trap 'rm -f "$text"' EXIT
zcat "$2" >"$text" || exit 1
latest=$(dpkg-parsechangelog -l "$text" -S Version 2>&1) &&
    changes=$(dpkg-parsechangelog -l "$text" --all -S Changes 2>&1) || {
    echo "$latest$changes"
    exit 1
}
versions=$(sed -nE 's/^ ?[a-z0-9.+-]+ \(([^)]*)\) .*/\1/p' <<<"$changes")
headings=$(sed -nE 's/^## ([0-9.]+) .*/\1/p' "$1")
if [ "$latest" != "$3" ] || [ "$versions" != "$headings" ]; then
    echo "changelog: newest $latest of the project's $3; entries:" $versions "of" $headings
    exit 1
fi
