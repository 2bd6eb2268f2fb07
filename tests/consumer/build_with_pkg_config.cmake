# Compiles, links and runs the consumer with the flags pkg-config gives for the installed tree.
#   -DPREFIX -DLIBDIR -DSOURCE -DOUT -DC_COMPILER -DC_FLAGS -DLINKER_FLAGS -DPKG_CONFIG
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
# Only the installed tree's .pc files are seen.
set(ENV{PKG_CONFIG_LIBDIR} ${PREFIX}/${LIBDIR}/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
foreach(query cflags libs)
  execute_process(COMMAND ${PKG_CONFIG} --${query} ztequationmanager
    RESULT_VARIABLE status OUTPUT_VARIABLE ${query} ERROR_VARIABLE err
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config --${query} failed\n${err}")
  endif()
  separate_arguments(${query} UNIX_COMMAND "${${query}}")
endforeach()
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir ztequationmanager
  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REAL_PATH ${libdir} libdir)
file(REAL_PATH ${PREFIX}/${LIBDIR} expected)
if(NOT libdir STREQUAL expected)
  message(FATAL_ERROR "pkg-config gives libdir ${libdir}, not ${expected}")
endif()
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
execute_process(COMMAND ${C_COMPILER} ${c_flags} -std=c99 ${cflags} ${SOURCE} -o ${OUT}/consumer
    ${linker_flags} ${libs} -Wl,-rpath,${libdir}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compiling the consumer failed\n${out}${err}")
endif()
execute_process(COMMAND ${OUT}/consumer RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "Area = 10")
  message(FATAL_ERROR "the consumer ended with ${status}\n${out}${err}")
endif()
message(STATUS "${out}")
