#!/usr/bin/env bash
# The bash completion of audioconv-cli, run as bash runs it: the words typed so far in, the
# offered words out.
# Arguments: COMPLETION_FILE AUDIOCONV_CLI
set -euo pipefail
export LC_ALL=C
completion=$1 cli=$2
source "$completion"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Prints the words offered after the given words (the last one is the word being completed).
offered() {
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _audioconv_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

# The presets of a format as --list numbers them.
presets_of() {
    "$cli" --list | sed -n "/(-f $1)\$/,/(-f /p" | awk '$1 ~ /^[0-9]+$/ { print $1 }' |
        sort | tr '\n' ' ' | sed 's/ $//'
}

formats=$("$cli" --list | sed -n 's/^.* (-f \([a-z0-9]*\))$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
[[ $(wc -w <<<"$formats") -ge 8 ]] || fail "--list names too few formats: $formats"

# words typed | offered
cases=(
    "--fo|--format"
    "--log|--log --log-level"
    "--log-level w|warning"
    "-f |$formats"
    "-f F|flac"
    "--format = o|ogg opus"
    "-p |$(presets_of mp3)"
    "-f FLAC -p |$(presets_of flac)"
    "--format = wav --quiet -p |$(presets_of wav)"
    "-f ogg -p 9|"
    "-j |"
    "--existing |increment newer overwrite skip"
    "--existing n|newer"
    "-r k|keep"
    "--channels s|stereo"
    "--name {al|{albumartist} {album}"
    "-q |"
    "-f opus -p |$(presets_of opus)"
    "-x |"
    "-X ab|"
)
for c in "${cases[@]}"; do
    IFS=' ' read -r -a words <<<"${c%%|*}"
    [[ ${c%%|*} == *" " ]] && words+=("")
    got=$(offered "${words[@]}")
    [[ $got == "${c#*|}" ]] || fail "after '${c%%|*}': offered '$got', expected '${c#*|}'"
done

# Every option of --help is offered after a dash.
all=" $(offered -) "
for option in $("$cli" --help | grep -oE '(^|[[:space:],])--?[A-Za-z][A-Za-z0-9-]*' |
    sed 's/^[[:space:],]*//' | sort -u); do
    [[ $all == *" $option "* ]] || fail "$option of --help is not offered"
done

# A folder for -o, files elsewhere.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/music" && touch "$scratch/mix.wav"
[[ $(offered -o "$scratch/m") == "$scratch/music" ]] || fail "-o offers $(offered -o "$scratch/m")"
[[ $(offered "$scratch/m") == "$scratch/mix.wav $scratch/music" ]] ||
    fail "files: offered $(offered "$scratch/m")"
echo "completion: ${#cases[@]} cases, every option of --help offered"
