#!/usr/bin/env bash
# setup.sh [--runtime]
# Installs the Debian packages the project builds with. Without an option: everything it builds,
# tests, benchmarks and packages with. With --runtime: only what the library, the tool and their
# Debian packages are built from (no test or benchmark tool chain).
# Safe to run again: only missing packages are fetched. Needs root (apt-get).
set -euo pipefail

runtime=(
  build-essential cmake ninja-build pkg-config file
  libexpat1-dev libpcre2-dev libpng-dev zlib1g-dev libutfcpp-dev
  libcli11-dev libglu1-mesa-dev libjpeg62-turbo-dev libstb-dev libassimp-dev libminizip-dev
  libocct-data-exchange-dev libocct-foundation-dev libocct-modeling-algorithms-dev libocct-modeling-data-dev
)
development=(
  clang-format man-db
  libgtest-dev libgmock-dev libtinyobjloader-dev
  assimp-utils assimp-testmodels libocct-ocaf-dev
  admesh python3-stl python3-ezdxf python3-collada python3-numpy python3-lxml
  librsvg2-bin libxml2-utils locales-all chromium python3-pil
  gcovr
)

case "${1:-}" in
  --runtime) packages=("${runtime[@]}") ;;
  "") packages=("${runtime[@]}" "${development[@]}") ;;
  *) echo "usage: $0 [--runtime]" >&2; exit 2 ;;
esac

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

# The independent readers that run under node (glTF-Validator, three.js, occt-import-js), pinned by
# the lock file; tests that need them skip when they are absent.
if [ -z "${1:-}" ]; then
  command -v npm >/dev/null || { apt-get update -qq; apt-get install -y -qq --no-install-recommends nodejs npm; }
  npm ci --prefix "$(dirname "$0")/../tests/readers" --no-audit --no-fund --silent
fi
