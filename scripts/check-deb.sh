#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root with `dpkg -x` and runs the
# installed programs from there: audioconv-cli converts a short file. Not part of `make test`.
#   bash scripts/check-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

make -s build BUILD_DIR="$build"
cmake --build "$build" --target package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/audioconv_${version}_amd64.deb
[[ -f $deb ]] || { echo "check-deb: $deb was not built" >&2; exit 1; }
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends

# Whether the dependencies resolve on this machine (a simulation: nothing is fetched or
# installed).
echo "== apt-get install --simulate"
apt-get install --simulate -q "$(realpath "$deb")" 2>&1 | grep -E '^(Inst|Conf|E:)|newly installed' || true

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root/tree"
echo "== unpacked into $root/tree"

ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i sine=frequency=440:duration=2 \
    -ac 2 "$root/tone.wav"
cd "$root"
"$root/tree/usr/bin/audioconv-cli" --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/tree/usr/bin/audioconv" --version
"$root/tree/usr/bin/audioconv-cli" -f ogg -p 3 -o "$root/out" "$root/tone.wav"
ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration \
    -of default=noprint_wrappers=1 "$root/out/tone.ogg"
echo "check-deb: the packaged audioconv-cli converted a file"
