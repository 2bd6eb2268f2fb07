# Runs the command given after "--" and checks what it did:
#   -DSTATUS=n             its exit status (a crash never matches)
#   -DMATCH=regex          its standard output and error together match the expression
#   -DEXPECTED=file        its standard output equals the file byte for byte
#   -DWORKING_DIRECTORY=d  where it runs
set(command "")
set(collecting FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(collecting)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(collecting TRUE)
  endif()
endforeach()
if(NOT DEFINED WORKING_DIRECTORY)
  set(WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()

execute_process(COMMAND ${command} WORKING_DIRECTORY ${WORKING_DIRECTORY}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(shown "--- standard output ---\n${out}--- standard error ---\n${err}")

if(DEFINED STATUS AND NOT "${status}" STREQUAL "${STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\n${shown}")
endif()
if(DEFINED MATCH AND NOT "${out}${err}" MATCHES "${MATCH}")
  message(FATAL_ERROR "the output does not match: ${MATCH}\n${shown}")
endif()
if(DEFINED EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT out STREQUAL expected)
    get_filename_component(name ${EXPECTED} NAME)
    set(actual ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual)
    file(WRITE ${actual} "${out}")
    execute_process(COMMAND diff -u ${EXPECTED} ${actual})
    message(FATAL_ERROR "the output differs from ${EXPECTED} (it is in ${actual})\n${err}")
  endif()
endif()
