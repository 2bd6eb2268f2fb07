# Installs the Windows build into a fresh prefix, checks the layout a Windows host expects (the
# DLL beside the programs, the import library and module-definition file with the CMake
# package), then plays an installed example scene with the installed eqm-host, which finds the
# DLL beside itself.  -DBUILD_DIR -DPREFIX -DRUN=emulator
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed\n${out}${err}")
endif()
foreach(file
    bin/ztequationmanager.dll
    bin/eqm-host.exe
    lib/ztequationmanager.dll.a
    lib/ztequationmanager.def
    lib/cmake/ztequationmanager/ztequationmanagerConfig.cmake
    include/ztequationmanager/ztequationmanager.h
    include/ztequationmanager/version.h
    share/ztequationmanager/scenes/door.json)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${PREFIX}/${file} was not installed")
  endif()
endforeach()
set(scenes ${PREFIX}/share/ztequationmanager/scenes)
execute_process(COMMAND ${RUN} ${PREFIX}/bin/eqm-host.exe run ${scenes}/door.json
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${scenes}/door.expected expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "the installed eqm-host ended with ${status}\n${out}${err}")
endif()
