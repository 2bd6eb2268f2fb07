# Installation: the library, its headers, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(ZTEQM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ztequationmanager)

install(TARGETS ztequationmanager EXPORT ztequationmanagerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/EquationManager/include/ztequationmanager
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(FILES ${ZTEQM_GENERATED_INCLUDE_DIR}/ztequationmanager/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ztequationmanager)

install(EXPORT ztequationmanagerTargets
  NAMESPACE ztequationmanager::
  DESTINATION ${ZTEQM_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ztequationmanagerConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfig.cmake
  INSTALL_DESTINATION ${ZTEQM_CMAKE_DIR})
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfigVersion.cmake
  DESTINATION ${ZTEQM_CMAKE_DIR})

# The .pc file finds its prefix from its own place, so the tree can be installed anywhere.
file(RELATIVE_PATH ZTEQM_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ztequationmanager.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanager.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanager.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The example scenes, for trying an installed eqm-host.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/scenes
  DESTINATION ${CMAKE_INSTALL_DATADIR}/ztequationmanager)
