#!/usr/bin/env bash
# Each program's man page formats without a warning and names every option its --help prints.
# Arguments: MAN_DIR PROGRAM... (the man page of PROGRAM is MAN_DIR/PROGRAM.1)
set -euo pipefail
man_dir=$1
shift

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for program in "$@"; do
    name=$(basename "$program")
    page=$man_dir/$name.1
    warnings=$(groff -man -ww -z "$page" 2>&1) || fail "$page: $warnings"
    [[ -z $warnings ]] || fail "$page: $warnings"
    # The page's text with roff's escapes of dashes and fonts undone.
    text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$page")
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help)
    options=$(grep -oE '(^|[[:space:],])--?[A-Za-z][A-Za-z0-9-]*' <<<"$help" |
        sed 's/^[[:space:],]*//' | sort -u)
    [[ -n $options ]] || fail "$name --help printed no option: $help"
    for option in $options; do
        grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)" <<<"$text" ||
            fail "$page does not name $option, which $name --help prints"
    done
    echo "$name.1 names the options of --help:" $options
done
