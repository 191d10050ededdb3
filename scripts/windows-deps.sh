#!/usr/bin/env bash
# Usage: scripts/windows-deps.sh
# Builds the libraries the Windows library links (expat, libpng, PCRE2, libjpeg-turbo) for
# x86_64-w64-mingw32 from Debian's source packages (the newest version the machine's archives
# offer, which is the Linux build's or a security update of it), as static
# libraries in build/windows-deps/prefix, kept between runs (rebuilt when a version changes).
# zlib is Debian's own MinGW build; the header-only utfcpp, CLI11 and stb are linked in from
# their Debian packages. Needs root the first time (apt-get: the tool chain, Wine, source entries).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD/build/windows-deps
prefix=$root/prefix
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
source scripts/apt-sources.sh

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
          wine64 python3-pefile googletest dpkg-dev libutfcpp-dev libcli11-dev libstb-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows-deps: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# build SOURCE_PACKAGE [CMAKE_OPTION...]: the source package, configured for the target and
# installed into the prefix.
build() {
  local source=$1
  shift
  ensure_source_entries "$source"
  # The newest version whose files the archive mirrors serve (a mirror may lag its index).
  local version fetched=
  for version in $(apt-cache showsrc "$source" | sed -n 's/^Version: //p' | sort -Vr); do
    if [ "$(cat "$root/$source.version" 2>/dev/null)" = "$version" ]; then
      return 0
    fi
    rm -rf "${root:?}/$source"
    mkdir -p "$root/$source"
    if (cd "$root/$source" && apt-get source -qq "$source=$version" >/dev/null 2>&1); then
      fetched=$version
      break
    fi
  done
  [ -n "$fetched" ] || { echo "windows-deps: no source of $source could be fetched" >&2; exit 1; }
  install_tree "$source" "$version" "$@"
}

# install_tree NAME VERSION [CMAKE_OPTION...]: the CMake project unpacked below build/windows-deps/NAME,
# configured for the target and installed into the prefix.
install_tree() {
  local name=$1 version=$2
  shift 2
  echo "windows-deps: building $name $version"
  # The top CMake project of the unpacked tree (expat keeps it one folder down).
  local tree
  tree=$(dirname "$(find -L "$root/$name" -maxdepth 3 -name CMakeLists.txt -printf '%d %p\n' | sort -n |
    head -n 1 | cut -d' ' -f2)")
  if declare -F "prepare_$name" >/dev/null; then "prepare_$name" "$tree"; fi
  cmake -S "$tree" -B "$root/$name/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DOV_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$root/$name.log" 2>&1 &&
    cmake --build "$root/$name/build" -j "$(nproc)" >>"$root/$name.log" 2>&1 &&
    cmake --install "$root/$name/build" >>"$root/$name.log" 2>&1 ||
    { echo "windows-deps: $name failed to build; see $root/$name.log" >&2; exit 1; }
  echo "$version" >"$root/$name.version"
}

# The test framework from the source Debian's googletest package installs, for the test suite.
build_googletest() {
  local version
  version=$(dpkg-query -W -f='${Version}' googletest)
  [ "$(cat "$root/googletest.version" 2>/dev/null)" != "$version" ] || return 0
  rm -rf "${root:?}/googletest"
  mkdir -p "$root/googletest"
  ln -s /usr/src/googletest "$root/googletest/source"
  install_tree googletest "$version"
}

# Debian's security patches test XML_DTD == 1, as its autotools build defines it; the CMake
# build's configuration header defines it empty.
prepare_expat() {
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$1/expat_config.h.cmake"
}

mkdir -p "$prefix/include" "$prefix/lib/cmake"
build expat -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF
build libpng1.6 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
build pcre2 -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_JIT=OFF
# Without SIMD: its assembler (nasm) is one more tool for a decoder of small texture images.
build libjpeg-turbo -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
build_googletest

# The header-only libraries as the Linux build finds them.
ln -sfn /usr/include/utf8cpp "$prefix/include/utf8cpp"
ln -sfn /usr/include/CLI "$prefix/include/CLI"
ln -sfn /usr/include/stb "$prefix/include/stb"
ln -sfn /usr/lib/x86_64-linux-gnu/cmake/utf8cpp "$prefix/lib/cmake/utf8cpp"
ln -sfn /usr/share/cmake/CLI11 "$prefix/lib/cmake/CLI11"
echo "$prefix"
