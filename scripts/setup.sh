#!/usr/bin/env bash
# Installs everything the project needs from Debian's packages.
# Idempotent: when every package is present it only checks and exits.
# Works as root or through sudo; runs 'apt-get update' only when something is missing.
# With --fuzz it also installs clang and its libFuzzer runtime (for `make fuzz` only); with
# --cluster Slurm, munge and GNU parallel (for scripts/check-slurm.sh and check-parallel.sh).
set -euo pipefail

FUZZ=0
CLUSTER=0
case "${1:-}" in
--fuzz) FUZZ=1 ;;
--cluster) CLUSTER=1 ;;
esac

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang-format
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libswresample-dev libavfilter-dev libavdevice-dev
  ffmpeg
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev libtag1-dev libjpeg62-turbo-dev libebur128-dev
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
  xvfb xauth
  dpkg-dev desktop-file-utils appstream shared-mime-info groff-base
  dbus at-spi2-core python3-pyatspi
)

# The fuzz target's compiler, and its runtime (a recommendation only of the clang package).
if [ $FUZZ -eq 1 ]; then
  PACKAGES+=(clang)
  if command -v clang >/dev/null 2>&1; then
    major="$(clang -dumpversion | cut -d. -f1)"
    PACKAGES+=("libclang-rt-${major}-dev")
  fi
fi

if [ $CLUSTER -eq 1 ]; then
  PACKAGES+=(slurm-wlm munge parallel jq)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

# clang was missing: its runtime's package is named after the version just installed.
if [ $FUZZ -eq 1 ] && ! dpkg-query -W -f='${Status}' "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev" 2>/dev/null | grep -q "install ok installed"; then
  $SUDO apt-get install -y -q --no-install-recommends "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
fi
