# Shared by check-slurm.sh and check-parallel.sh: a tree of short sources, and the checks of
# a batch converted in shares. Source it; it defines functions only.

# make_tree DIR COUNT: COUNT one-second WAV files of different tones in 10 folders of DIR,
# some with spaces in their names, and DIR/list.txt naming them relative to DIR.
make_tree() {
    local dir=$1 count=$2 i folder
    mkdir -p "$dir"
    ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=1" -ac 1 -ar 8000 "$dir/.tone.wav"
    for ((i = 0; i < count; i++)); do
        folder="$dir/album $((i % 10))"
        mkdir -p "$folder"
        cp "$dir/.tone.wav" "$folder/track $i.wav"
    done
    rm "$dir/.tone.wav"
    (cd "$dir" && find . -name '*.wav' | sort >list.txt)
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# check_batch TREE OUT REPORTS COUNT: COUNT outputs, none numbered, and the reports together
# name every source once as converted.
check_batch() {
    local tree=$1 out=$2 reports=$3 count=$4
    local outputs numbered named unique converted
    outputs=$(find "$out" -name '*.mp3' | wc -l)
    [ "$outputs" -eq "$count" ] || fail "$outputs outputs, not $count"
    numbered=$(find "$out" -name '*(1)*' | wc -l)
    [ "$numbered" -eq 0 ] || fail "$numbered numbered duplicates"
    named=$(cat "$reports"/*.jsonl | jq -r 'select(.status) | .source' | wc -l)
    unique=$(cat "$reports"/*.jsonl | jq -r 'select(.status) | .source' | sort -u | wc -l)
    converted=$(cat "$reports"/*.jsonl | jq -r 'select(.status == "converted") | .source' | wc -l)
    [ "$named" -eq "$count" ] || fail "the reports name $named sources, not $count"
    [ "$unique" -eq "$count" ] || fail "the reports name $unique different sources, not $count"
    [ "$converted" -eq "$count" ] || fail "$converted converted, not $count"
    echo "check: $count outputs, none numbered, every source reported once"
}

# check_rerun REPORTS COUNT: a second submission converted nothing and skipped everything.
check_rerun() {
    local reports=$1 count=$2 converted skipped
    converted=$(cat "$reports"/*.jsonl | jq -r 'select(.status == "converted") | .source' | wc -l)
    skipped=$(cat "$reports"/*.jsonl | jq -r 'select(.status == "skipped") | .source' | wc -l)
    [ "$converted" -eq 0 ] || fail "the re-run converted $converted sources"
    [ "$skipped" -eq "$count" ] || fail "the re-run skipped $skipped sources, not $count"
    echo "check: the re-run converted nothing"
}
