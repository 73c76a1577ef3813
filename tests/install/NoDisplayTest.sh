#!/usr/bin/env bash
# The programs answer --version and --help without a display: no window opens, nothing waits.
# Arguments: VERSION AUDIOCONV AUDIOCONV_CLI
set -euo pipefail
version=$1 app=$2 cli=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# program argument | the first line printed
cases=(
    "$app|--version|audioconv $version"
    "$app|--help|Usage: audioconv [OPTIONS] [FILE...]"
    "$app|-h|Usage: audioconv [OPTIONS] [FILE...]"
    "$cli|--version|audioconv-cli $version"
)
for c in "${cases[@]}"; do
    IFS='|' read -r program argument first <<<"$c"
    status=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 30 "$program" "$argument" 2>&1) ||
        status=$?
    [[ $status == 0 ]] || fail "$(basename "$program") $argument exited with $status: $out"
    [[ $(head -n 1 <<<"$out") == "$first" ]] ||
        fail "$(basename "$program") $argument printed: $out"
done
echo "answered without a display: ${#cases[@]} cases"
