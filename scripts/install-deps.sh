#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the workstation needs.
# Idempotent: only missing packages are fetched. Run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config ccache
  qtbase5-dev qtbase5-dev-tools libqt5svg5-dev
  qttools5-dev qttools5-dev-tools
  libdcmtk-dev dcmtk dicom3tools
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libtiff-dev libopenjp2-7-dev
  libnifti2-dev zlib1g-dev
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-nanum
  xauth xvfb
  libvtk9-dev libvtk9-qt-dev
  orthanc
  poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
