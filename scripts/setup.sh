#!/usr/bin/env bash
# Installs the Debian packages Tavimo needs to build, run and test.
# Idempotent: prints nothing and changes nothing when everything is present.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config make
  dpkg-dev  # dpkg-shlibdeps, which names the package's library dependencies (make package)
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libjpeg62-turbo-dev libssl-dev libcurl4-openssl-dev liblz4-dev nlohmann-json3-dev zlib1g-dev zlib1g-dev
  liblzma-dev  # the LZMA compression of Flash movies (ZWS)
  libx11-dev libxtst-dev libxcb1-dev libx11-xcb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth xdotool x11-utils trayer
  chromium  # headless, fills a real browser cache for the cache search tests
  curl openssl
  wget  # writes the web archives (WARC) the archive reader is tested on
  python3-distributed  # Dask, which the dist test runs examples/dask/scan_cluster.py on
  qt6-webengine-dev
  desktop-file-utils appstream man-db  # check the installed desktop entry, metadata and manual pages
  clang-format  # the style check of HACKING.md (docs_commands test)
  pandoc  # makes the help page and the manual pages from docs/manual/
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
# npm fetches the preview player's Flash emulator; a Node.js from elsewhere that brings its own
# npm is fine, so only the command is checked.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq </dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
fi

# The Flash emulator (Ruffle) at the version pinned in resources/player/package-lock.json;
# installed again only when the lock file changes.
player="$(cd "$(dirname "$0")/.." && pwd)/resources/player"
if [ ! -f "$player/node_modules/@ruffle-rs/ruffle/ruffle.js" ] ||
   [ "$player/package-lock.json" -nt "$player/node_modules/.package-lock.json" ]; then
  echo "setup: installing the Flash emulator (npm ci in resources/player)"
  (cd "$player" && npm ci --no-audit --no-fund --loglevel=error </dev/null >/dev/null)
fi
