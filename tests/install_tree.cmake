# Installs the build into a fresh prefix and checks that everything is in place, then runs the
# installed eqm-host on an installed example scene (it finds the installed module by itself).
#   -DBUILD_DIR -DPREFIX -DLIBDIR -DBINDIR -DDATADIR -DINCLUDEDIR
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed\n${out}${err}")
endif()
foreach(file
    ${LIBDIR}/libztequationmanager.so
    ${INCLUDEDIR}/ztequationmanager/ztequationmanager.h
    ${INCLUDEDIR}/ztequationmanager/palette.h
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanagerConfig.cmake
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanagerConfigVersion.cmake
    ${LIBDIR}/pkgconfig/ztequationmanager.pc
    ${INCLUDEDIR}/ztequationmanager/version.h
    ${DATADIR}/doc/ztequationmanager/LICENSE
    ${BINDIR}/eqm-host
    ${DATADIR}/ztequationmanager/scenes/door.json)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${PREFIX}/${file} was not installed")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/${BINDIR}/eqm-host run
    ${PREFIX}/${DATADIR}/ztequationmanager/scenes/door.json
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "house/door.angle")
  message(FATAL_ERROR "the installed eqm-host ended with ${status}\n${out}${err}")
endif()
