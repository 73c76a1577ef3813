#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks the tree: exactly the expected files (so
# no test program, benchmark or tool), links that resolve outside the build tree, and installed
# programs that work from there.
# Arguments: BUILD_DIR VERSION APP_ID GUI(ON|OFF) "LIB_SONAMES..."
set -euo pipefail
build=$(realpath "$1") version=$2 id=$3 gui=$4
read -r -a libs <<<"$5"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

mkdir -p "$build/test-tmp"
root=$(mktemp -d "$build/test-tmp/install-tree.XXXXXX")
trap 'rm -rf "$root"' EXIT
DESTDIR="$root/dest" "${CMAKE_COMMAND:-cmake}" --install "$build" --prefix /usr >"$root/install.log" 2>&1 ||
    { cat "$root/install.log" >&2; fail "cmake --install failed"; }
dest=$root/dest

# ---- the files
expected=(
    usr/bin/audioconv-cli
    usr/lib/audioconv/audioconv-cli
    usr/lib/audioconv/lame.dll
    usr/lib/audioconv/splash.png
    usr/lib/audioconv/sounds/done.wav
    usr/lib/audioconv/sounds/fail.wav
    usr/lib/audioconv/sounds/skin{1,2,3,4,5}/skin.ini
    usr/share/man/man1/audioconv-cli.1.gz
    usr/share/bash-completion/completions/audioconv-cli
)
for lib in "${libs[@]}"; do
    expected+=("usr/lib/audioconv/lib/$lib")
done
if [[ $gui == ON ]]; then
    expected+=(
        usr/bin/audioconv
        usr/lib/audioconv/audioconv
        "usr/share/applications/$id.desktop"
        "usr/share/metainfo/$id.metainfo.xml"
        "usr/share/icons/hicolor/scalable/apps/$id.svg"
        usr/share/man/man1/audioconv.1.gz
    )
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
    done
fi
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$dest" && find . ! -type d -printf '%P\n' | sort) ||
    fail "the installed files differ from the expected ones (< missing, > unexpected)"

# ---- the links: bin/ to the programs, relative; lib/ to the system's libraries
programs=(audioconv-cli)
[[ $gui == ON ]] && programs+=(audioconv)
for p in "${programs[@]}"; do
    link=$dest/usr/bin/$p
    [[ -L $link ]] || fail "$link is no link"
    [[ $(readlink "$link") != /* ]] || fail "$link is absolute: $(readlink "$link")"
    [[ $(realpath -e "$link") == "$dest/usr/lib/audioconv/$p" ]] ||
        fail "$link leads to $(realpath "$link")"
    [[ -f $dest/usr/lib/audioconv/$p && -x $dest/usr/lib/audioconv/$p ]] ||
        fail "$p is no executable file"
    if readelf -d "$dest/usr/lib/audioconv/$p" | grep -E 'RPATH|RUNPATH' | grep -qF "$build"; then
        fail "$p searches the build tree for libraries"
    fi
done
for lib in "${libs[@]}"; do
    link=$dest/usr/lib/audioconv/lib/$lib
    [[ -L $link ]] || fail "$link is no link"
    target=$(realpath -e "$link") || fail "$link is dangling"
    [[ $target != "$build"/* && $target != "$root"/* ]] || fail "$link leads into $target"
done

# ---- the installed programs, run from the tree
cd "$root"
out=$("$dest/usr/bin/audioconv-cli" --version)
[[ $out == "audioconv-cli $version" ]] || fail "audioconv-cli --version printed: $out"
if [[ $gui == ON ]]; then
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dest/usr/bin/audioconv" --version)
    [[ $out == "audioconv $version" ]] || fail "audioconv --version printed: $out"
fi

ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i sine=frequency=440:duration=1 \
    "$root/tone.wav"
"$dest/usr/bin/audioconv-cli" --quiet -f mp3 -o "$root/out" "$root/tone.wav" ||
    fail "the installed audioconv-cli could not convert"
[[ -s $root/out/tone.mp3 ]] || fail "no output: $(ls "$root/out")"
facts=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name:format=duration \
    -of default=noprint_wrappers=1 "$root/out/tone.mp3")
grep -qx 'codec_name=mp3' <<<"$facts" || fail "the output is not MP3: $facts"
duration=$(sed -n 's/^duration=//p' <<<"$facts")
awk -v d="$duration" 'BEGIN { exit !(d > 0.9 && d < 1.2) }' || fail "the output lasts $duration s"
echo "installed tree: ${#expected[@]} files, audioconv-cli converted tone.wav to MP3 ($duration s)"
