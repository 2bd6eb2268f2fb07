# Builds the library as a static archive (BUILD_SHARED_LIBS=OFF) from the same sources and
# installs its development component into a prefix that already holds the shared build.
#   -DSOURCE_DIR -DOUT -DPREFIX -DLIBDIR -DGENERATOR -DBUILD_TYPE -DC_COMPILER -DCXX_COMPILER
#   -DC_FLAGS -DCXX_FLAGS -DLINKER_FLAGS -DWERROR
file(REMOVE_RECURSE ${OUT})
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed\n${out}${err}")
  endif()
endfunction()
run("configuring the static build" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${OUT} -G ${GENERATOR}
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DZTEQM_WERROR=${WERROR}
  -DZTEQM_BUILD_TESTS=OFF -DZTEQM_BUILD_EXAMPLES=OFF
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run("building the static library" ${CMAKE_COMMAND} --build ${OUT})
run("installing the static library"
  ${CMAKE_COMMAND} --install ${OUT} --prefix ${PREFIX} --component development)
foreach(file ${LIBDIR}/libztequationmanager.a
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanager-static-targets.cmake
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanager-shared-targets.cmake)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${PREFIX}/${file} is not installed")
  endif()
endforeach()
