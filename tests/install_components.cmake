# Each install component alone: "runtime" holds the shared object under its soname and the
# licence, nothing to build with; "development" holds what building against the library needs,
# and not the shared object itself.
#   -DBUILD_DIR -DOUT -DLIBDIR -DINCLUDEDIR -DDATADIR -DSONAME
cmake_minimum_required(VERSION 3.25)
function(install_component component)
  file(REMOVE_RECURSE ${OUT}/${component})
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${OUT}/${component}
      --component ${component}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "installing the ${component} component failed\n${out}${err}")
  endif()
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${OUT}/${component}
    ${OUT}/${component}/*)
  list(SORT files)
  set(files ${files} PARENT_SCOPE)
endfunction()

install_component(runtime)
file(GLOB real_name RELATIVE ${OUT}/runtime ${OUT}/runtime/${LIBDIR}/${SONAME}.*)
set(expected ${LIBDIR}/${SONAME} ${real_name} ${DATADIR}/doc/ztequationmanager/LICENSE)
list(SORT expected)
list(LENGTH real_name real_count)
if(NOT real_count EQUAL 1 OR NOT files STREQUAL expected)
  message(FATAL_ERROR "the runtime component holds\n  ${files}\ninstead of\n  ${expected}")
endif()

install_component(development)
foreach(file ${LIBDIR}/libztequationmanager.so ${INCLUDEDIR}/ztequationmanager/version.h
    ${INCLUDEDIR}/ztequationmanager/ztequationmanager.h ${LIBDIR}/pkgconfig/ztequationmanager.pc
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanagerConfig.cmake
    ${LIBDIR}/cmake/ztequationmanager/ztequationmanagerConfigVersion.cmake
    ${DATADIR}/doc/ztequationmanager/LICENSE)
  if(NOT file IN_LIST files)
    message(FATAL_ERROR "the development component lacks ${file}; it holds\n  ${files}")
  endif()
endforeach()
list(FILTER files INCLUDE REGEX "(\\.so\\.|bin/)")
if(files)
  message(FATAL_ERROR "the development component holds run-time files: ${files}")
endif()
