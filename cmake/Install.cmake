# What a host gets from `cmake --install`: the shared libraries with their versioned names, the
# public headers below include/ovMeshDrivers (with the platform headers they need), a CMake
# package with exported targets and a pkg-config file. The tool and its resources install with
# the tool.
include(CMakePackageConfigHelpers)

set(OV_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ovMeshDrivers)
set(OV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ovMeshDrivers)

set_target_properties(ovSceneGraph ovSystem ovXml ovRegExp PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS ovMeshDrivers ovSceneGraph ovSystem ovXml ovRegExp Wm4Foundation
  EXPORT ovMeshDriversTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${OV_INCLUDE_DIR})

install(DIRECTORY platform/ DESTINATION ${OV_INCLUDE_DIR} FILES_MATCHING PATTERN "*.h")
foreach(header ${OV_PUBLIC_HEADERS})
  cmake_path(GET header PARENT_PATH folder)
  install(FILES meshdrivers/${header} DESTINATION ${OV_INCLUDE_DIR}/${folder})
endforeach()

install(EXPORT ovMeshDriversTargets NAMESPACE ovMeshDrivers:: DESTINATION ${OV_PACKAGE_DIR})
configure_package_config_file(cmake/ovMeshDriversConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ovMeshDriversConfig.cmake INSTALL_DESTINATION ${OV_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ovMeshDriversConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ovMeshDriversConfig.cmake ${CMAKE_BINARY_DIR}/ovMeshDriversConfigVersion.cmake
  DESTINATION ${OV_PACKAGE_DIR})

# Relative to the file's own folder, so that a moved prefix still works.
file(RELATIVE_PATH OV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/ovMeshDrivers.pc.in ${CMAKE_BINARY_DIR}/ovMeshDrivers.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ovMeshDrivers.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
