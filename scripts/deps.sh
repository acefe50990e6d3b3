#!/usr/bin/env bash
# Installs what korvex needs to build, run and test on Debian 12.
# Idempotent and non-interactive: apt-get runs only when a package is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools
  libjpeg-dev libjpeg-turbo-progs
  fonts-wqy-zenhei xvfb xauth xdotool
  python3 imagemagick
  qt6-translations-l10n
  dpkg-dev lintian desktop-file-utils appstream mandoc
  clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
