# The Windows build (MinGW-w64, see cmake/toolchain-mingw-w64.cmake): ztequationmanager.dll and
# its import library, eqm-host.exe, and the tests, which run under Wine when cross-built.
include(${CMAKE_CURRENT_LIST_DIR}/export_list.cmake)

# Programs and the DLL share one directory, as they do installed, so that every program of
# the build finds the DLL beside it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
# The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked in: the DLL and the
# programs load on a machine without MinGW.
add_link_options(-static)

# Cross-built programs run under Wine, in a prefix of the build tree's own that the first run
# makes, through the wrapper build/windows/wine-run.
if(CMAKE_CROSSCOMPILING)
  find_program(ZTEQM_WINE wine)
  find_program(ZTEQM_WINESERVER wineserver)
  if(NOT ZTEQM_WINE OR NOT ZTEQM_WINESERVER)
    message(FATAL_ERROR "The Windows build runs its programs under Wine, which is missing: "
                        "scripts/install-deps windows installs it")
  endif()
  set(ZTEQM_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  set(ZTEQM_WINE_RUN ${PROJECT_BINARY_DIR}/wine-run)
  file(CONFIGURE OUTPUT ${ZTEQM_WINE_RUN} CONTENT [[#!/bin/sh
# Runs a program of this Windows build under Wine, in the build tree's own prefix.
export WINEPREFIX='@ZTEQM_WINEPREFIX@'
export WINEDEBUG=-all
# No .NET or HTML engine: nothing asks to install them.
export WINEDLLOVERRIDES='mscoree,mshtml='
# Under a lock, so that programs started together wait for one another here. Nothing started
# here keeps the lock (9>&-) or the caller's output open: CTest waits for the end of the output.
(
  flock 9
  # The first run makes the prefix.
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    '@ZTEQM_WINE@' wineboot --init >/dev/null 2>&1 </dev/null 9>&- && touch "$WINEPREFIX/.ready"
  fi
  # One server for a whole test run, which stays a minute after its last program: by itself it
  # would stay 3 seconds, and could be leaving just as the next program connects. A new server
  # starts Wine's own background programs at once, before any test program could start them
  # holding its output.
  if '@ZTEQM_WINESERVER@' -p60 >/dev/null 2>&1 </dev/null 9>&-; then
    '@ZTEQM_WINE@' wineboot >/dev/null 2>&1 </dev/null 9>&-
  fi
) 9>"$WINEPREFIX.lock"
# With no program named, only the prefix is made.
[ "$#" -eq 0 ] || exec '@ZTEQM_WINE@' "$@"
]] @ONLY)
  file(CHMOD ${ZTEQM_WINE_RUN} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZTEQM_WINE_RUN})
  # Every test of this build runs under Wine: `ctest -L windows` selects them.
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY LABELS windows)
  # The build makes the prefix, which takes a while once: CTest lists the tests of each test
  # program by running it, before any test could set the prefix up.
  add_custom_command(OUTPUT ${ZTEQM_WINEPREFIX}/.ready COMMAND ${ZTEQM_WINE_RUN}
    COMMENT "Making the Wine prefix")
  add_custom_target(zteqm_wineprefix ALL DEPENDS ${ZTEQM_WINEPREFIX}/.ready)
endif()

# Header-only packages of the build machine (nlohmann-json3-dev, libcli11-dev) serve the cross
# build too: a package file in the build tree exposes only their own include directory, never
# the build machine's system headers.
function(zteqm_header_only_package package target header_dir)
  set(dir ${PROJECT_BINARY_DIR}/header-only/${package})
  set(version_file /usr/share/cmake/${package}/${package}ConfigVersion.cmake)
  if(NOT EXISTS /usr/include/${header_dir} OR NOT EXISTS ${version_file})
    return()
  endif()
  file(MAKE_DIRECTORY ${dir}/include)
  file(CREATE_LINK /usr/include/${header_dir} ${dir}/include/${header_dir} SYMBOLIC)
  file(WRITE ${dir}/${package}Config.cmake
    "if(NOT TARGET ${target})\n"
    "  add_library(${target} INTERFACE IMPORTED)\n"
    "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir}/include)\n"
    "endif()\n")
  file(WRITE ${dir}/${package}ConfigVersion.cmake "include(${version_file})\n")
  set(${package}_DIR ${dir} CACHE PATH "The ${package} package for the Windows build")
endfunction()
if(CMAKE_CROSSCOMPILING)
  zteqm_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
  zteqm_header_only_package(CLI11 CLI11::CLI11 CLI)
endif()

# GoogleTest compiled from the distribution's sources (package googletest), with this build's
# compiler, in place of the build machine's libraries.
set(ZTEQM_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(ZTEQM_BUILD_TESTS AND CMAKE_CROSSCOMPILING AND NOT TARGET GTest::gtest)
  if(NOT EXISTS ${ZTEQM_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "The Windows tests are built against GoogleTest's sources, missing from "
                        "${ZTEQM_GOOGLETEST_SOURCE}: scripts/install-deps windows installs them")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Static archives whatever the library is, so the tests carry no DLL of GoogleTest's.
  set(ZTEQM_SAVED_BUILD_SHARED_LIBS ${BUILD_SHARED_LIBS})
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${ZTEQM_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(BUILD_SHARED_LIBS ${ZTEQM_SAVED_BUILD_SHARED_LIBS})
  foreach(library gtest gtest_main gmock gmock_main)
    # Their own code, not ours: its warnings are not this project's errors.
    target_compile_options(${library} PRIVATE -w)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()

# The export table is generated from the one list of exported functions: a module-definition
# file for the linker, and the names as C strings for the test that resolves each of them.
set(ZTEQM_EXPORTS_MAP ${PROJECT_SOURCE_DIR}/EquationManager/exports.map)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZTEQM_EXPORTS_MAP})
zteqm_read_export_list(${ZTEQM_EXPORTS_MAP} ZTEQM_EXPORT_NAMES)
list(JOIN ZTEQM_EXPORT_NAMES "\n    " ZTEQM_DEF_LINES)
set(ZTEQM_DEF_FILE ${PROJECT_BINARY_DIR}/ztequationmanager.def)
file(CONFIGURE OUTPUT ${ZTEQM_DEF_FILE} CONTENT
  "; Generated from EquationManager/exports.map: the DLL's export table.\nLIBRARY ztequationmanager.dll\nEXPORTS\n    ${ZTEQM_DEF_LINES}\n")
list(JOIN ZTEQM_EXPORT_NAMES "\",\n    \"" ZTEQM_NAME_LINES)
set(ZTEQM_EXPORT_NAMES_HEADER ${PROJECT_BINARY_DIR}/generated/zteqm_export_names.h)
file(CONFIGURE OUTPUT ${ZTEQM_EXPORT_NAMES_HEADER} CONTENT
  "/* Generated from EquationManager/exports.map: every exported name. */\nstatic const char *const zteqm_export_names[] = {\n    \"${ZTEQM_NAME_LINES}\"};\n")

# Called by EquationManager/CMakeLists.txt for the library target, a DLL or a static library.
function(zteqm_configure_windows_library target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    # Hosts linking a static copy neither import nor export.
    target_compile_definitions(${target} PUBLIC ZTEQM_STATIC)
    return()
  endif()
  # The DLL's entry point, and its export table.
  target_compile_definitions(${target} PRIVATE ZTEQM_BUILDING)
  target_sources(${target} PRIVATE
    ${PROJECT_SOURCE_DIR}/EquationManager/src/windows/dll_main.cpp ${ZTEQM_DEF_FILE})
  # ztequationmanager.dll with the import library ztequationmanager.dll.a (found by -l as
  # well); nothing of the static runtime is exported beside the listed functions.
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX ""
    LINK_DEPENDS ${ZTEQM_DEF_FILE})
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL)
  # GCC gives the part of a dllexport function that partial inlining splits off
  # ("KVAP_GetDouble.part.0") the function's dllexport too, which would put it in the export
  # table; that split is left out of the DLL (at link time as well, where the link-time
  # optimisation makes it).
  target_compile_options(${target} PRIVATE -fno-partial-inlining)
  target_link_options(${target} PRIVATE -fno-partial-inlining)
  # MSVC hosts make their import library from the module-definition file (lib /def:).
  install(FILES ${ZTEQM_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()
