# Cross build for 64-bit Windows with Debian's MinGW-w64 tool chain (posix threads, SEH):
#   cmake --preset windows   (scripts/windows-deps.sh builds the libraries it links first)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ov_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ov_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ov_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${ov_mingw}-windres)
set(PKG_CONFIG_EXECUTABLE ${ov_mingw}-pkg-config CACHE FILEPATH "pkg-config of the target")
# The target's libraries: the tool chain's own, and the prefix the dependency script fills.
set(OV_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix" CACHE PATH
    "Prefix of the libraries built for Windows")
set(CMAKE_FIND_ROOT_PATH /usr/${ov_mingw} ${OV_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows names libraries without the lib prefix: ovMeshDrivers.dll, ovMeshDrivers.dll.a.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")
# The DLL carries its dependencies: zlib linked in as the others are.
set(ZLIB_USE_STATIC_LIBS ON)
set(ENV{PKG_CONFIG_LIBDIR} "${OV_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# GCC 12 warns of overlapping copies inside libstdc++'s own string code at -O3 (GCC bug 105329),
# which the Linux build at -O2 does not meet.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Test programs, and the test discovery that runs them at build time, go through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh")
