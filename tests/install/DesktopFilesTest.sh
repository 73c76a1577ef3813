#!/usr/bin/env bash
# The desktop entry and the software centre's description pass their validators, and each icon
# of the theme is a PNG of the size its folder names.
# Arguments: SOURCE_DIR APP_ID
set -euo pipefail
desktop=$1/data/desktop id=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

report=$(desktop-file-validate "$desktop/$id.desktop" 2>&1) || fail "desktop entry: $report"
[[ -z $report ]] || fail "desktop entry: $report"

report=$(appstreamcli validate --no-net "$desktop/$id.metainfo.xml" 2>&1) ||
    fail "metainfo: $report"

for size in 16 22 24 32 48 64 128 256; do
    png=$desktop/icons/hicolor/${size}x$size/apps/$id.png
    # The PNG signature, then the IHDR chunk with the width and the height (big-endian).
    header=($(od -An -v -tu1 -N24 "$png"))
    [[ ${header[*]:0:8} == "137 80 78 71 13 10 26 10" ]] || fail "$png is no PNG"
    width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
    height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
    [[ $width == "$size" && $height == "$size" ]] || fail "$png is ${width}x$height"
done
svg=$desktop/icons/hicolor/scalable/apps/$id.svg
grep -q '<svg [^>]*viewBox="0 0 128 128"' "$svg" || fail "$svg has no square viewBox"
echo "desktop entry and metainfo valid, icons of the right sizes"
