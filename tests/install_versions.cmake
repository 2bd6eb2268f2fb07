# The installed version header, CMake package version file, pkg-config file and the shared
# object's soname all carry one version.
#   -DPREFIX -DLIBDIR -DINCLUDEDIR [-DPKG_CONFIG] -DOBJDUMP
file(READ ${PREFIX}/${INCLUDEDIR}/ztequationmanager/version.h header)
foreach(part MAJOR MINOR PATCH)
  if(NOT header MATCHES "#define ZTEQM_VERSION_${part} ([0-9]+)\n")
    message(FATAL_ERROR "version.h defines no ZTEQM_VERSION_${part}\n${header}")
  endif()
  set(${part} ${CMAKE_MATCH_1})
endforeach()
if(NOT header MATCHES "#define ZTEQM_VERSION_STRING \"([^\"]*)\"")
  message(FATAL_ERROR "version.h defines no ZTEQM_VERSION_STRING\n${header}")
endif()
set(version ${MAJOR}.${MINOR}.${PATCH})
set(found "version.h numbers: ${version}\nversion.h string: ${CMAKE_MATCH_1}\n")
set(agree TRUE)
if(NOT CMAKE_MATCH_1 STREQUAL version)
  set(agree FALSE)
endif()

# The package version file, as find_package reads it: it must also accept its own version.
set(PACKAGE_FIND_VERSION ${version})
set(PACKAGE_FIND_VERSION_MAJOR ${MAJOR})
set(PACKAGE_FIND_VERSION_MINOR ${MINOR})
set(PACKAGE_FIND_VERSION_PATCH ${PATCH})
set(PACKAGE_FIND_VERSION_COUNT 3)
include(${PREFIX}/${LIBDIR}/cmake/ztequationmanager/ztequationmanagerConfigVersion.cmake)
string(APPEND found "CMake package: ${PACKAGE_VERSION}"
  " (compatible: ${PACKAGE_VERSION_COMPATIBLE})\n")
if(NOT PACKAGE_VERSION STREQUAL version OR NOT PACKAGE_VERSION_COMPATIBLE)
  set(agree FALSE)
endif()

if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_LIBDIR} ${PREFIX}/${LIBDIR}/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  execute_process(COMMAND ${PKG_CONFIG} --modversion ztequationmanager
    OUTPUT_VARIABLE pc_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(APPEND found "pkg-config: ${pc_version}\n")
  if(NOT pc_version STREQUAL version)
    set(agree FALSE)
  endif()
endif()

# Before 1.0 the soname carries the minor version: an interface change never hides under one.
if(MAJOR EQUAL 0)
  set(soname libztequationmanager.so.${MAJOR}.${MINOR})
else()
  set(soname libztequationmanager.so.${MAJOR})
endif()
execute_process(COMMAND ${OBJDUMP} -p ${PREFIX}/${LIBDIR}/${soname}
  OUTPUT_VARIABLE headers RESULT_VARIABLE status)
string(REGEX MATCH "SONAME +[^\n]*" soname_line "${headers}")
string(APPEND found "shared object: ${soname_line}\n")
if(NOT status EQUAL 0 OR NOT soname_line MATCHES "SONAME +${soname}$")
  set(agree FALSE)
endif()

if(NOT agree)
  message(FATAL_ERROR "the installed versions disagree:\n${found}")
endif()
message(STATUS "${found}")
