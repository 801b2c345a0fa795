#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the tools need.
# Idempotent: packages already present are skipped, and apt-get runs only when
# something is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  juce-modules-source-data
  zam-plugins lv2file
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libsoxr-dev
  clang-format nlohmann-json3-dev libcli11-dev
  g++-mingw-w64-x86-64-posix wine64
  doxygen help2man dpkg-dev file man-db
  libx11-dev xvfb xdotool imagemagick libgl1-mesa-dri
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    echo "setup: run this script as root (or install sudo), or install them yourself with apt-get" >&2
    exit 1
  fi
else
  SUDO=
fi

# A fresh machine has empty package lists.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done"
