#!/usr/bin/env bash
# Installs the Debian packages that building the library and the tool needs
# (the main job, scripts/run.sh); with --packaging also what making the Debian
# packages needs (scripts/package.sh); with --tests all that and what the tests,
# the Windows cross-build and the API reference need (scripts/test.sh).
# Idempotent: packages already present are skipped, and apt-get runs only when
# something is missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  juce-modules-source-data
  zam-plugins
  libsndfile1-dev libsoxr-dev nlohmann-json3-dev libcli11-dev libx11-dev libjack-jackd2-dev
)
packaging_packages=(help2man dpkg-dev file)
test_packages=(
  lv2file
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
  g++-mingw-w64-x86-64-posix wine64
  doxygen man-db
  xvfb xdotool imagemagick libgl1-mesa-dri
  jackd2 jack-tools
)
case "${1:-}" in
  "") ;;
  --packaging) packages+=("${packaging_packages[@]}") ;;
  --tests) packages+=("${packaging_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [--packaging | --tests]" >&2
    exit 2
    ;;
esac

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
