# On Windows, one zip of what a host needs: the DLLs with their import libraries and the tool
# chain's C++ runtime, the headers, the CMake package, the resources and the tool.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME ovMeshDrivers)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_SYSTEM_NAME windows-x86_64-mingw)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# Debian packages, one per install component, built by `cpack` (the `package` preset) from a tree
# configured for /usr, where GNUInstallDirs gives the multiarch library folder:
#   libovmeshdrivers<major>  shared libraries and resources    (component libraries)
#   libovmeshdrivers-dev     headers, CMake package, pkg-config (component development)
#   ovmesh                   the tool and its manual page       (component tool)
#   libovmeshdrivers-assimp<major>  the optional assimp component  (component assimp, where built)
#   libovmeshdrivers-occt<major>    the optional Open CASCADE component (component occt, where built)
# Their dependencies on Debian's libraries are read from the binaries (dpkg-shlibdeps), and the
# library package declares what it provides, so that programs linked to it depend on it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovmeshdrivers)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ovMeshDrivers developers")
set(CPACK_PACKAGE_CONTACT "ovMeshDrivers maintainers <maintainers@users.noreply.c-seed-f385bffa.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libraries development)
if(OV_BUILD_TOOL)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS libraries)
set(CPACK_COMPONENT_TOOL_DEPENDS libraries)
# The CMake package names every target, the component's too: who builds against it gets it.
if(TARGET ovMeshDriversAssimp)
  list(APPEND CPACK_COMPONENTS_ALL assimp)
  set(CPACK_COMPONENT_ASSIMP_DEPENDS libraries)
  list(APPEND CPACK_COMPONENT_DEVELOPMENT_DEPENDS assimp)
  list(APPEND CPACK_COMPONENT_TOOL_DEPENDS assimp)
endif()
if(TARGET ovMeshDriversOcct)
  list(APPEND CPACK_COMPONENTS_ALL occt)
  set(CPACK_COMPONENT_OCCT_DEPENDS libraries)
  list(APPEND CPACK_COMPONENT_DEVELOPMENT_DEPENDS occt)
  list(APPEND CPACK_COMPONENT_TOOL_DEPENDS occt)
endif()
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The tool's own libraries are in the library package, which it depends on by name; dpkg-shlibdeps
# finds them in the build tree and leaves them out of the tool's computed dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${OV_STAGE_DIR}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LIBRARIES_PACKAGE_NAME libovmeshdrivers${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_SECTION libs)
string(CONCAT CPACK_DEBIAN_LIBRARIES_DESCRIPTION "file-format drivers for a host scene graph - shared libraries\n"
  "STEP AP242 assembly structure, COLLADA 1.4.1, binary STL, DXF and SVG export and PLM XML\n"
  "import for a host application's scene graph, with the platform libraries they are written\n"
  "against (scene graph, system services, XML, regular expressions) and the bundled STEP schema.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libovmeshdrivers-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "file-format drivers for a host scene graph - development files\n"
  "The public headers, the CMake package (find_package(ovMeshDrivers)) and the pkg-config file\n"
  "(ovMeshDrivers) a host application builds against.")

set(CPACK_DEBIAN_ASSIMP_PACKAGE_NAME libovmeshdrivers-assimp${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_ASSIMP_PACKAGE_SECTION libs)
string(CONCAT CPACK_DEBIAN_ASSIMP_DESCRIPTION "file-format drivers for a host scene graph - assimp component\n"
  "The load driver that reads every format of assimp's importers into the host's scene graph,\n"
  "registered after the library's own drivers when a host links it.")

set(CPACK_DEBIAN_OCCT_PACKAGE_NAME libovmeshdrivers-occt${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_OCCT_PACKAGE_SECTION libs)
string(CONCAT CPACK_DEBIAN_OCCT_DESCRIPTION "file-format drivers for a host scene graph - Open CASCADE component\n"
  "Meshes the exact B-rep shapes of STEP files with Open CASCADE, in a child process, for the\n"
  "library's STEP reader, which leaves them out without it. Registered when a host links it.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ovmesh)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION graphics)
string(CONCAT CPACK_DEBIAN_TOOL_DESCRIPTION "command-line tool of the ovMeshDrivers file-format drivers\n"
  "Converts Wavefront OBJ, PLM XML and other scenes to STEP, COLLADA, STL, DXF and SVG, prints\n"
  "their node trees and saves a demo scene in every format.")

include(CPack)
