# Installation, in components:
#   runtime      the shared object (and the licence)
#   development  the headers, the CMake package, the pkg-config file, the static library when
#                built, and the shared object's link-time name
#   host         eqm-host and the example scenes
# A shared and a static build can be installed into one prefix; the CMake package then gives
# the shared object unless the "static" component is asked for.
include(CMakePackageConfigHelpers)

set(ZTEQM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ztequationmanager)
set(ZTEQM_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ztequationmanager)
if(BUILD_SHARED_LIBS)
  set(ZTEQM_VARIANT shared)
else()
  set(ZTEQM_VARIANT static)
endif()

install(TARGETS ztequationmanager EXPORT ztequationmanagerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/EquationManager/include/ztequationmanager
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development FILES_MATCHING PATTERN "*.h")
install(FILES ${ZTEQM_GENERATED_INCLUDE_DIR}/ztequationmanager/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ztequationmanager COMPONENT development)

install(EXPORT ztequationmanagerTargets
  NAMESPACE ztequationmanager::
  FILE ztequationmanager-${ZTEQM_VARIANT}-targets.cmake
  DESTINATION ${ZTEQM_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ztequationmanagerConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfig.cmake
  INSTALL_DESTINATION ${ZTEQM_CMAKE_DIR})
# Before 1.0 a minor release may change the interface (the soname carries the minor version).
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanagerConfigVersion.cmake
  DESTINATION ${ZTEQM_CMAKE_DIR} COMPONENT development)

# The .pc file finds its prefix from its own place, so the tree can be installed anywhere.
file(RELATIVE_PATH ZTEQM_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ztequationmanager.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanager.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ztequationmanager.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The licence goes with every component.
foreach(component runtime development host)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ZTEQM_DOC_DIR}
    COMPONENT ${component})
endforeach()

# The example scenes, for trying an installed eqm-host.
if(ZTEQM_BUILD_HOST)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/scenes
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ztequationmanager COMPONENT host)
endif()
