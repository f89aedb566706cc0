#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run twice.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool
  mdbtools
  dpkg-dev desktop-file-utils appstream man-db file
  nodejs npm
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# A machine may carry Node.js from elsewhere; only ask Debian for npm when none is there.
if command -v node >/dev/null && command -v npm >/dev/null; then
  filtered=()
  for p in "${missing[@]}"; do
    [ "$p" = nodejs ] || [ "$p" = npm ] || filtered+=("$p")
  done
  missing=("${filtered[@]}")
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The npm judge of the engine's output (mdb-reader), pinned by its lock file.
if [ -f tests/judges/package.json ]; then
  if [ ! -d tests/judges/node_modules ]; then
    (cd tests/judges && npm ci --no-audit --no-fund --loglevel=error)
  fi
fi
