# eqm-host, the example scenes, the example hosts and the installed package.
set(ZTEQM_EXPECT ${CMAKE_COMMAND} -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake)
set(ZTEQM_SCENES ${PROJECT_SOURCE_DIR}/examples/scenes)
string(FIND "${CMAKE_C_FLAGS}" "-fsanitize" ZTEQM_SANITIZING)
find_program(VALGRIND valgrind)
# Programs of a cross build run through its emulator (Wine for the Windows build).
set(ZTEQM_RUN ${CMAKE_CROSSCOMPILING_EMULATOR})
if(CMAKE_CROSSCOMPILING)
  set(VALGRIND "")
endif()

# The smallest host, in plain C: it prints the area twice and ends holding no block.
if(TARGET minimal_host)
  add_test(NAME Examples.MinimalHostEvaluatesAndReleasesEverything
    COMMAND ${CMAKE_COMMAND} -DSTATUS=0
            "-DMATCH=^Area = 10.000000\r?\nArea = 12\r?\nblocks still held: 0\r?\n$"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_RUN}
            $<TARGET_FILE:minimal_host>)
endif()

if(NOT TARGET eqm_host_core)
  return()
endif()

target_link_libraries(host_scene_test PRIVATE eqm_host_core)
target_link_libraries(host_run_test PRIVATE eqm_host_core)
target_compile_definitions(host_run_test PRIVATE
  ZTEQM_MODULE_PATH="$<TARGET_FILE:ztequationmanager>")

set(ZTEQM_HOST ${ZTEQM_RUN} $<TARGET_FILE:eqm-host>)

# Every example scene plays exactly its expected output (run from the source tree, as the
# README does), and ends with no live block.
file(GLOB ZTEQM_EXAMPLE_SCENES CONFIGURE_DEPENDS ${ZTEQM_SCENES}/*.json)
foreach(scene ${ZTEQM_EXAMPLE_SCENES})
  get_filename_component(name ${scene} NAME_WE)
  string(SUBSTRING ${name} 0 1 first)
  string(SUBSTRING ${name} 1 -1 rest)
  string(TOUPPER ${first} first)
  set(title ${first}${rest})
  add_test(NAME Scenes.${title}PlaysItsExpectedOutput
    COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${ZTEQM_SCENES}/${name}.expected
            -DWORKING_DIRECTORY=${PROJECT_SOURCE_DIR}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
            ${ZTEQM_HOST} run examples/scenes/${name}.json)
  add_test(NAME Scenes.${title}EndsWithNoLiveBlock
    COMMAND ${CMAKE_COMMAND} -DSTATUS=0
            "-DMATCH=allocator: [0-9]+ blocks allocated, [0-9]+ released, 0 live;"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
            ${ZTEQM_HOST} run ${scene} --stats)
  if(VALGRIND AND ZTEQM_SANITIZING EQUAL -1)
    add_test(NAME Valgrind.${title}SceneIsClean
      COMMAND ${VALGRIND} -q --leak-check=full --error-exitcode=1 ${ZTEQM_HOST} run ${scene})
  endif()
endforeach()
if(VALGRIND AND ZTEQM_SANITIZING EQUAL -1 AND TARGET minimal_host)
  add_test(NAME Valgrind.MinimalHostIsClean
    COMMAND ${VALGRIND} -q --leak-check=full --error-exitcode=1 $<TARGET_FILE:minimal_host>)
endif()

# "door_overshoot" -> "DoorOvershoot", for test names.
function(zteqm_title name out)
  string(REPLACE "_" ";" words ${name})
  set(title "")
  foreach(word ${words})
    string(SUBSTRING ${word} 0 1 first)
    string(SUBSTRING ${word} 1 -1 rest)
    string(TOUPPER ${first} first)
    string(APPEND title ${first}${rest})
  endforeach()
  set(${out} ${title} PARENT_SCOPE)
endfunction()

# Scenes of the tests play exactly their expected output, notification counts included, and end
# with no live block.
file(GLOB ZTEQM_TEST_RUNS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scenes/*.expected)
foreach(expected ${ZTEQM_TEST_RUNS})
  get_filename_component(name ${expected} NAME_WE)
  zteqm_title(${name} title)
  add_test(NAME Run.${title}PlaysItsExpectedOutput
    COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${expected}
            -DWORKING_DIRECTORY=${CMAKE_CURRENT_SOURCE_DIR}/scenes
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} run ${name}.json)
  add_test(NAME Run.${title}EndsWithNoLiveBlock
    COMMAND ${CMAKE_COMMAND} -DSTATUS=0
            "-DMATCH=allocator: [0-9]+ blocks allocated, [0-9]+ released, 0 live;"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
            ${ZTEQM_HOST} run ${CMAKE_CURRENT_SOURCE_DIR}/scenes/${name}.json --stats)
endforeach()

# Data files written on Windows (CR LF line ends) play exactly as the originals do.
add_test(NAME Scenes.CrLfDataFilesOfThePlaybackScene
  COMMAND ${CMAKE_COMMAND} -DSCENE=${ZTEQM_SCENES}/playback.json
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/crlf -P ${CMAKE_CURRENT_SOURCE_DIR}/crlf_copy.cmake)
add_test(NAME Scenes.CrLfDataFilesPlayAsTheirOriginals
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${ZTEQM_SCENES}/playback.expected
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${CMAKE_CURRENT_BINARY_DIR}/crlf/playback.json)
set_tests_properties(Scenes.CrLfDataFilesOfThePlaybackScene PROPERTIES FIXTURES_SETUP CrLfScene)
set_tests_properties(Scenes.CrLfDataFilesPlayAsTheirOriginals PROPERTIES FIXTURES_REQUIRED CrLfScene)

# The CSV form of a run: a header, then one line per frame with exact numbers.
add_test(NAME Scenes.CsvHoldsOneLinePerFrame
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DMATCH=frame
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --frames 3
          --csv ${CMAKE_CURRENT_BINARY_DIR}/door.csv)
add_test(NAME Scenes.CsvMatchesItsExpectedFile
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/scenes/door.csv
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${CMAKE_COMMAND} -E cat ${CMAKE_CURRENT_BINARY_DIR}/door.csv)
set_tests_properties(Scenes.CsvHoldsOneLinePerFrame PROPERTIES FIXTURES_SETUP DoorCsv)
set_tests_properties(Scenes.CsvMatchesItsExpectedFile PROPERTIES FIXTURES_REQUIRED DoorCsv)

# eqm-host check: the example scenes pass, and each kind of bad scene is reported at its place
# with status 1.
add_test(NAME Check.AcceptsTheExampleScenes
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DMATCH=door.json:\ ok
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} check ${ZTEQM_EXAMPLE_SCENES})
# Each bad scene of the tests is reported exactly as its .errors file says, every problem at
# its place and in its order, with status 1: what the reader finds (malformed JSON, wrong
# shapes, names, parameter kinds, references and cycles, values out of range, watches) and
# what only the library's registries tell (unknown names with the nearest known one,
# parameter counts, bound variables an operator would read as another kind).
file(GLOB ZTEQM_BAD_SCENES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scenes/*.errors)
foreach(errors ${ZTEQM_BAD_SCENES})
  get_filename_component(name ${errors} NAME_WE)
  zteqm_title(${name} title)
  add_test(NAME Check.Reports${title}
    COMMAND ${CMAKE_COMMAND} -DSTATUS=1 -DEXPECTED_ERRORS=${errors}
            -DWORKING_DIRECTORY=${CMAKE_CURRENT_SOURCE_DIR}/scenes
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} check ${name}.json)
endforeach()
# A regular file whose reading fails (/proc/self/mem, which only Linux has) is named with why.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_test(NAME Check.SaysWhyASceneFileCannotBeRead
    COMMAND ${CMAKE_COMMAND} -DSTATUS=1
            "-DMATCH=^/proc/self/mem: cannot read the scene file: Input/output error\n/proc/self/mem: 1 problem\n$"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} check /proc/self/mem)
endif()
add_test(NAME Check.SurvivesEveryCutOfTheExampleScenes
  COMMAND ${CMAKE_COMMAND} "-DHOST=${ZTEQM_HOST}" -DSCENES=${ZTEQM_SCENES}
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/cut-scenes -DSTEP=5
          -P ${CMAKE_CURRENT_SOURCE_DIR}/check_truncations.cmake)

add_test(NAME Check.WarningsAloneLeaveASceneOk
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 "-DMATCH=unreached.json: ok, 1 warning\n.*warning: its result reaches nothing"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} check ${CMAKE_CURRENT_SOURCE_DIR}/scenes/unreached.json)

# Long runs: no table, every Nth row, CSV on standard output.
add_test(NAME Run.QuietPrintsOnlyTheNotifications
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 "-DMATCH=^notifications\n  house/Door Closed +1\n"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --quiet)
add_test(NAME Run.EveryNthFrameAndTheLast
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0
          "-DMATCH=time[^\n]*\n +0 [^\n]*\n +4 [^\n]*\n +8 [^\n]*\n +10 [^\n]*\n\nnotifications"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --every=4)
add_test(NAME Run.CsvToStandardOutput
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/scenes/door.csv
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --frames 3 --csv -)

# The graph as DOT, and a cycle listed with its path.
add_test(NAME Graph.RigMatchesItsExpectedDot
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/scenes/rig.dot
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} graph ${ZTEQM_SCENES}/rig.json)
add_test(NAME Graph.DrawsAndListsAReferenceCycle
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0
          "-DMATCH=\"equation:Ping\" -> \"equation:Pong\" [^\n]*color=red.*reference_cycle.json: cycle: \"Ping\" -> \"Pong\" -> \"Ping\"\n$"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} graph ${CMAKE_CURRENT_SOURCE_DIR}/scenes/reference_cycle.json)

# A signal stopping a run, and the pictures read back; skipped (77) without gnuplot or dot.
# A Windows build has no pictures here: its eqm-host starts dot and gnuplot through the command
# interpreter (cmd), which under Wine starts only Windows programs, and Debian packages no
# Windows build of either.
set(ZTEQM_TOOL_CASES interrupt plot graph)
if(CMAKE_CROSSCOMPILING)
  set(ZTEQM_TOOL_CASES interrupt)
endif()
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  foreach(case ${ZTEQM_TOOL_CASES})
    add_test(NAME Tools.${case} COMMAND ${Python3_EXECUTABLE}
      ${CMAKE_CURRENT_SOURCE_DIR}/host_tools.py ${case} ${ZTEQM_SCENES}
      ${CMAKE_CURRENT_BINARY_DIR}/host-tools ${ZTEQM_HOST})
    set_tests_properties(Tools.${case} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
endif()

# The command line: usage errors give status 2 in one line, a module that cannot be loaded 3.
add_test(NAME CommandLine.RefusesUnknownCommandsInOneLine
  COMMAND ${CMAKE_COMMAND} -DSTATUS=2
          "-DMATCH=^eqm-host: unknown command \"play\"[^\n]*; see 'eqm-host --help'\n$"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} play x.json)
add_test(NAME CommandLine.RefusesABadFrameCount
  COMMAND ${CMAKE_COMMAND} -DSTATUS=2
          "-DMATCH=^eqm-host: run: --frames: needs a whole number from 0 to 1000000[^\n]*; see 'eqm-host run --help'\n$"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --frames -4)
add_test(NAME CommandLine.TakesOptionValuesAfterAnEqualsSign
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 "-DMATCH=\n +2 [^\n]*\n\nnotifications"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} run ${ZTEQM_SCENES}/door.json --frames=2)
add_test(NAME CommandLine.PrintsTheVersions
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0
          "-DMATCH=^eqm-host ${PROJECT_VERSION}\nlibrary ${PROJECT_VERSION} [^\n]*loaded from "
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} --version)
add_test(NAME CommandLine.ListsTheOperators
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0
          "-DMATCH=\n +[0-9]+ +6  DriveDOF\n.*value types\n.*double.*parameter types\n.*Node Attribute  \\(a variable"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake -- ${ZTEQM_HOST} operators)
# A bare file name that exists is that file, not a name for the loader to search for.
if(WIN32)
  set(ZTEQM_MODULE_FILE_NAME $<TARGET_FILE_NAME:ztequationmanager>)
else()
  set(ZTEQM_MODULE_FILE_NAME $<TARGET_SONAME_FILE_NAME:ztequationmanager>)
endif()
add_test(NAME CommandLine.LoadsAModuleNamedByItsBareFileName
  COMMAND ${CMAKE_COMMAND} -DSTATUS=0 "-DMATCH=door.json: ok"
          -DWORKING_DIRECTORY=$<TARGET_FILE_DIR:ztequationmanager>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} check ${ZTEQM_SCENES}/door.json
          --module ${ZTEQM_MODULE_FILE_NAME})
# A library that is no equation manager: every function it lacks is named.
if(WIN32)
  set(ZTEQM_FOREIGN_MODULE kernel32.dll)
else()
  set(ZTEQM_FOREIGN_MODULE libm.so.6)
endif()
add_test(NAME CommandLine.NamesEveryFunctionAForeignModuleLacks
  COMMAND ${CMAKE_COMMAND} -DSTATUS=3
          "-DMATCH=^eqm-host: the module ${ZTEQM_FOREIGN_MODULE} lacks [0-9]+ functions the host needs: KVAEQM_Init, KVAEQM_Exit, [^\n]*, KVAEP_DeleteEquation\n$"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} check ${ZTEQM_SCENES}/door.json --module ${ZTEQM_FOREIGN_MODULE})
add_test(NAME CommandLine.NamesAModuleItCannotLoad
  COMMAND ${CMAKE_COMMAND} -DSTATUS=3
          "-DMATCH=cannot load the module ${CMAKE_CURRENT_BINARY_DIR}/none.so"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/run_and_expect.cmake --
          ${ZTEQM_HOST} check ${ZTEQM_SCENES}/door.json --module ${CMAKE_CURRENT_BINARY_DIR}/none.so)

# Installation: the tree, then a consumer built against it with find_package and with
# pkg-config. A cross build has no consumer compiler here; its tests check the DLL instead.
if(CMAKE_CROSSCOMPILING)
  return()
endif()
set(ZTEQM_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/installed)
add_test(NAME Install.PutsEverythingInPlace
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DPREFIX=${ZTEQM_PREFIX}
          -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DBINDIR=${CMAKE_INSTALL_BINDIR}
          -DDATADIR=${CMAKE_INSTALL_DATADIR} -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/install_tree.cmake)
set_tests_properties(Install.PutsEverythingInPlace PROPERTIES FIXTURES_SETUP Installed)
set(ZTEQM_CONSUMER_ARGS -DPREFIX=${ZTEQM_PREFIX} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
    -DSOURCE=${PROJECT_SOURCE_DIR}/examples/minimal_host.c -DC_COMPILER=${CMAKE_C_COMPILER}
    "-DC_FLAGS=${CMAKE_C_FLAGS}" "-DLINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}")
add_test(NAME Install.ConsumerBuildsWithFindPackage
  COMMAND ${CMAKE_COMMAND} ${ZTEQM_CONSUMER_ARGS} -DGENERATOR=${CMAKE_GENERATOR}
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/consumer-cmake
          -P ${CMAKE_CURRENT_SOURCE_DIR}/consumer/build_with_cmake.cmake)
find_program(PKG_CONFIG NAMES pkg-config pkgconf)
if(PKG_CONFIG)
  add_test(NAME Install.ConsumerBuildsWithPkgConfig
    COMMAND ${CMAKE_COMMAND} ${ZTEQM_CONSUMER_ARGS} -DPKG_CONFIG=${PKG_CONFIG}
            -DOUT=${CMAKE_CURRENT_BINARY_DIR}/consumer-pkg-config
            -P ${CMAKE_CURRENT_SOURCE_DIR}/consumer/build_with_pkg_config.cmake)
  set_tests_properties(Install.ConsumerBuildsWithPkgConfig PROPERTIES FIXTURES_REQUIRED Installed)
endif()
set_tests_properties(Install.ConsumerBuildsWithFindPackage PROPERTIES FIXTURES_REQUIRED Installed)

# The runtime and development components each hold their own files.
add_test(NAME Install.ComponentsHoldTheirOwnFiles
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/components -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
          -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR} -DDATADIR=${CMAKE_INSTALL_DATADIR}
          -DSONAME=$<TARGET_SONAME_FILE_NAME:ztequationmanager>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/install_components.cmake)

# The version header, the CMake package version, the pkg-config version and the soname agree.
find_program(OBJDUMP objdump REQUIRED)
add_test(NAME Install.VersionsAgree
  COMMAND ${CMAKE_COMMAND} -DPREFIX=${ZTEQM_PREFIX} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
          -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR} -DPKG_CONFIG=${PKG_CONFIG}
          -DOBJDUMP=${OBJDUMP} -P ${CMAKE_CURRENT_SOURCE_DIR}/install_versions.cmake)
set_tests_properties(Install.VersionsAgree PROPERTIES FIXTURES_REQUIRED Installed)

# A static build of the same sources installs beside the shared object, and a consumer asking
# the CMake package for it links it in.
add_test(NAME Install.StaticLibraryInstallsBesideTheSharedObject
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/static-build -DPREFIX=${ZTEQM_PREFIX}
          -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DGENERATOR=${CMAKE_GENERATOR}
          -DBUILD_TYPE=${CMAKE_BUILD_TYPE} -DWERROR=${ZTEQM_WERROR} -DC_COMPILER=${CMAKE_C_COMPILER}
          -DCXX_COMPILER=${CMAKE_CXX_COMPILER} "-DC_FLAGS=${CMAKE_C_FLAGS}"
          "-DCXX_FLAGS=${CMAKE_CXX_FLAGS}" "-DLINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/install_static.cmake)
set_tests_properties(Install.StaticLibraryInstallsBesideTheSharedObject PROPERTIES
  FIXTURES_REQUIRED Installed FIXTURES_SETUP InstalledStatic)
add_test(NAME Install.ConsumerBuildsWithFindPackageAgainstTheStaticLibrary
  COMMAND ${CMAKE_COMMAND} ${ZTEQM_CONSUMER_ARGS} -DGENERATOR=${CMAKE_GENERATOR}
          -DVARIANT=static -DOUT=${CMAKE_CURRENT_BINARY_DIR}/consumer-static
          -P ${CMAKE_CURRENT_SOURCE_DIR}/consumer/build_with_cmake.cmake)
set_tests_properties(Install.ConsumerBuildsWithFindPackageAgainstTheStaticLibrary PROPERTIES
  FIXTURES_REQUIRED "Installed;InstalledStatic")
