#!/usr/bin/env bash
# host_against_install.sh BUILD_DIR HOST_SOURCE_DIR CXX WITH_TOOL (1 when the build has the tool)
set -euo pipefail
build=$1 host=$2 cxx=$3 with_tool=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# A prefix moved after installing must still work: nothing may point back into it or the build.
mv "$work/prefix" "$work/moved"
prefix=$work/moved
libdir=$(dirname "$(find "$prefix" -name 'libovMeshDrivers.so.3.0.0')")
for library in ovMeshDrivers ovMeshDriversAssimp ovSceneGraph ovSystem ovXml ovRegExp; do
  [ -f "$libdir/lib$library.so.3.0.0" ] && [ -L "$libdir/lib$library.so.3" ] || fail "lib$library.so.3.0.0 with its soname link"
done
for header in core/ovMeshDrivers.h scenegraph/ovIoManager.h system/ovLog.h wm4/Wm4Foundation.h; do
  [ -f "$prefix/include/ovMeshDrivers/$header" ] || fail "installed header $header"
done
[ ! -e "$prefix/include/ovMeshDrivers/core/DriverSupport.h" ] || fail "an internal header was installed"
# assimp comes with its component only: the library itself does not need it.
readelf -d "$libdir/libovMeshDrivers.so.3.0.0" | grep -q 'NEEDED.*assimp' && fail "libovMeshDrivers needs assimp"
readelf -d "$libdir/libovMeshDriversAssimp.so.3.0.0" | grep -q 'NEEDED.*assimp' || fail "the component links no assimp"
# Open CASCADE likewise, where its component was built.
readelf -d "$libdir/libovMeshDrivers.so.3.0.0" | grep -q 'NEEDED.*libTK' && fail "libovMeshDrivers needs Open CASCADE"
if [ -f "$libdir/libovMeshDriversOcct.so.3.0.0" ]; then
  readelf -d "$libdir/libovMeshDriversOcct.so.3.0.0" | grep -q 'NEEDED.*libTKMesh' || fail "the component links no Open CASCADE"
fi

# Every installed header compiles alone, as a host's first include, with the flags pkg-config gives.
includes=$prefix/include/ovMeshDrivers
cflags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags ovMeshDrivers)
for header in $(cd "$includes" && find . -name '*.h' | sort); do
  printf '#include "%s"\n' "${header#./}" | "$cxx" -std=c++20 -fsyntax-only $cflags -x c++ - \
    || fail "installed header ${header#./} does not compile alone"
done

[ -f "$prefix/share/ovmesh/resources/step/ap242_1_36_mim_lf.exp" ] || fail "the library's resources"

binaries=("$libdir/libovMeshDrivers.so.3.0.0" "$libdir/libovMeshDriversAssimp.so.3.0.0")
if [ "$with_tool" = 1 ]; then
  binaries+=("$prefix/bin/ovmesh")
  "$prefix/bin/ovmesh" formats >"$work/formats" || fail "installed ovmesh formats"
  grep -q '\bstl\b' "$work/formats" || fail "installed ovmesh lists no stl driver"
  "$prefix/bin/ovmesh" demo "$work/demo" >/dev/null || fail "installed ovmesh demo"
  [ -s "$work/demo/demo.stl" ] || fail "installed ovmesh wrote no demo.stl"
  man -l "$(find "$prefix/share/man/man1" -name 'ovmesh.1*')" >/dev/null || fail "installed manual page"
fi
for file in "${binaries[@]}"; do
  readelf -d "$file" | grep -E 'R(UN)?PATH' | grep -vq '\[\$ORIGIN' && fail "$file searches outside its prefix"
done

cmake -S "$host" -B "$work/host-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null \
  || fail "find_package(ovMeshDrivers 3 CONFIG) from the installed package"
cmake --build "$work/host-build" >/dev/null || fail "building the example host"

# pkg-config gives the same host its flags and libraries.
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs ovMeshDriversAssimp)
"$cxx" -std=c++20 "$host/host.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/host-pkgconfig" \
  || fail "building the example host with pkg-config"

for program in "$work/host-build/host" "$work/host-pkgconfig"; do
  "$program" "$prefix/share/ovmesh/resources" "$host" "$work/out" || fail "$program"
  grep -q "^ISO-10303-21;" "$work/out.stp" || fail "$program wrote no STEP file"
  # The meshes of the OBJ and the PLY models, faceted in the STEP file; the OBJ's outline drawn in SVG.
  [ "$(grep -c "SHELL_BASED_SURFACE_MODEL(" "$work/out.stp")" = 2 ] || fail "$program: a mesh is missing in STEP"
  [ "$(head -c 4 "$work/out.glb")" = glTF ] || fail "$program wrote no binary glTF file"
  grep -q "<path d=" "$work/out.svg" || fail "$program drew nothing in SVG"
  rm -f "$work/out.stp" "$work/out.glb" "$work/out.svg"
done
# The host example of STEP for CAD readers: the interop profile through the save's settings, and
# the drivers' reasons printed when the save fails.
"$cxx" -std=c++20 "$host/step_host.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/step_host" \
  || fail "building the STEP host example"
"$work/step_host" "$prefix/share/ovmesh/resources" "$host/assembly.plmxml" "$work/cad.stp" || fail "step_host"
grep -q "^FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442" "$work/cad.stp" \
  || fail "step_host did not write the interop profile"
"$work/step_host" "$prefix/share/ovmesh/resources" "$host/assembly.plmxml" "$work/none/cad.stp" 2>"$work/why" \
  && fail "step_host wrote into a missing folder"
[ "$(wc -l <"$work/why")" -ge 2 ] || fail "step_host printed no reason: $(cat "$work/why")"
echo "installed, moved, found and linked: ok"
