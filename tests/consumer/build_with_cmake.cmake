# Configures, builds and runs the consumer against the installed tree with find_package.
#   -DPREFIX -DSOURCE -DOUT -DGENERATOR -DC_COMPILER -DC_FLAGS -DLINKER_FLAGS [-DVARIANT=static]
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${OUT} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DEXPECTED_PREFIX=${PREFIX} -DCONSUMER_SOURCE=${SOURCE}
    -DVARIANT=${VARIANT}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${C_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring the consumer failed\n${out}${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${OUT}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building the consumer failed\n${out}${err}")
endif()
execute_process(COMMAND ${OUT}/consumer RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "Area = 10")
  message(FATAL_ERROR "the consumer ended with ${status}\n${out}${err}")
endif()
if(VARIANT STREQUAL "static")
  # Linked in: the program needs no ztequationmanager at run time.
  find_program(OBJDUMP objdump REQUIRED)
  execute_process(COMMAND ${OBJDUMP} -p ${OUT}/consumer OUTPUT_VARIABLE headers)
  if(headers MATCHES "NEEDED +libztequationmanager")
    message(FATAL_ERROR "the consumer still needs the shared object\n${headers}")
  endif()
endif()
message(STATUS "${out}")
