# What a host gets from `cmake --install`: the shared libraries with their versioned names and the
# library's resources (share/ovmesh/resources), the public headers below include/ovMeshDrivers (with
# the platform headers they need), a CMake package with exported targets and a pkg-config file; the
# tool and its manual page install from tools/ovmesh. Each file belongs to one component, and each
# component becomes one Debian package: `libraries` (what a program needs at run time),
# `development` (what a host builds against) and `tool`.
include(CMakePackageConfigHelpers)

set(OV_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ovMeshDrivers)
set(OV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ovMeshDrivers)

set_target_properties(ovSceneGraph ovSystem ovXml ovRegExp PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})

# The optional components that were built install beside the library, in the same CMake package,
# each in an install component (and so a Debian package) of its own, so that the library's
# package does not bring their dependencies.
foreach(component Assimp Occt)
  if(TARGET ovMeshDrivers${component})
    string(TOUPPER ${component} upper)
    string(TOLOWER ${component} lower)
    list(APPEND OV_PUBLIC_HEADERS ${OV_${upper}_PUBLIC_HEADERS})
    install(TARGETS ovMeshDrivers${component} EXPORT ovMeshDriversTargets
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${lower} NAMELINK_COMPONENT development
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${lower}
      INCLUDES DESTINATION ${OV_INCLUDE_DIR})
  endif()
endforeach()

install(TARGETS ovMeshDrivers ovSceneGraph ovSystem ovXml ovRegExp Wm4Foundation
  EXPORT ovMeshDriversTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libraries NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libraries
  INCLUDES DESTINATION ${OV_INCLUDE_DIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ovmesh/resources COMPONENT libraries)

install(DIRECTORY platform/ DESTINATION ${OV_INCLUDE_DIR} COMPONENT development FILES_MATCHING PATTERN "*.h")
foreach(header ${OV_PUBLIC_HEADERS})
  cmake_path(GET header PARENT_PATH folder)
  install(FILES meshdrivers/${header} DESTINATION ${OV_INCLUDE_DIR}/${folder} COMPONENT development)
endforeach()

install(EXPORT ovMeshDriversTargets NAMESPACE ovMeshDrivers:: DESTINATION ${OV_PACKAGE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/ovMeshDriversConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ovMeshDriversConfig.cmake INSTALL_DESTINATION ${OV_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ovMeshDriversConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ovMeshDriversConfig.cmake ${CMAKE_BINARY_DIR}/ovMeshDriversConfigVersion.cmake
  DESTINATION ${OV_PACKAGE_DIR} COMPONENT development)

# Relative to the file's own folder, so that a moved prefix still works.
file(RELATIVE_PATH OV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/ovMeshDrivers.pc.in ${CMAKE_BINARY_DIR}/ovMeshDrivers.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ovMeshDrivers.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
if(TARGET ovMeshDriversAssimp)
  configure_file(cmake/ovMeshDriversAssimp.pc.in ${CMAKE_BINARY_DIR}/ovMeshDriversAssimp.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/ovMeshDriversAssimp.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endif()
if(TARGET ovMeshDriversOcct)
  configure_file(cmake/ovMeshDriversOcct.pc.in ${CMAKE_BINARY_DIR}/ovMeshDriversOcct.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/ovMeshDriversOcct.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endif()
