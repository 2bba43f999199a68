#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. Quick when all are present:
# dpkg is asked first, and apt-get update runs only when something must be fetched.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config make
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    libcli11-dev nlohmann-json3-dev
    qt6-base-dev fonts-liberation fonts-wqy-microhei xvfb xauth
    poppler-utils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
