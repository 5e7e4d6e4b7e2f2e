#!/usr/bin/env bash
# Installs the Debian packages Tavimo needs to build, run and test.
# Idempotent: prints nothing and changes nothing when everything is present.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config make
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libjpeg62-turbo-dev libssl-dev libcurl4-openssl-dev liblz4-dev nlohmann-json3-dev
  libx11-dev libxtst-dev libxcb1-dev libx11-xcb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth xdotool x11-utils
  curl openssl
)
if [ "${TAVIMO_EXTRA_PACKAGES:-}" != "" ]; then
  # shellcheck disable=SC2206
  PACKAGES+=(${TAVIMO_EXTRA_PACKAGES})
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq </dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
