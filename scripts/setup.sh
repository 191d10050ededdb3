#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and benchmarks with.
# Safe to run again: only missing packages are fetched. Needs root (apt-get).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev
  libexpat1-dev libpcre2-dev libpng-dev zlib1g-dev libutfcpp-dev
  libcli11-dev libtinyobjloader-dev libglu1-mesa-dev libjpeg62-turbo-dev
  libassimp-dev assimp-utils libocct-data-exchange-dev libocct-foundation-dev libocct-ocaf-dev
  admesh python3-stl python3-ezdxf python3-collada python3-numpy python3-lxml
  librsvg2-bin libxml2-utils locales-all
  gcovr
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
