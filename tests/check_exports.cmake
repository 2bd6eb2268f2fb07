# Compares the library's exported functions with the export list: the defined dynamic symbols
# of a shared object (nm -D), or the export table of a Windows DLL (objdump -p).
#   -DLIBRARY=file -DEXPORTS=exports.map [-DOBJDUMP=objdump for a DLL]
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/export_list.cmake)

set(exported "")
if(LIBRARY MATCHES "\\.[dD][lL][lL]$")
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
    OUTPUT_VARIABLE dump RESULT_VARIABLE dump_result)
  if(NOT dump_result EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${LIBRARY}")
  endif()
  # The names of the export table follow its "[Ordinal/Name Pointer] Table" heading, one a
  # line, up to the first blank line.
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no export table")
  endif()
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
  foreach(row ${rows})
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported "${name}")
  endforeach()
else()
  find_program(NM nm REQUIRED)
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE nm_output RESULT_VARIABLE nm_result)
  if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
  endif()
  string(REPLACE "\n" ";" nm_lines "${nm_output}")
  foreach(line ${nm_lines})
    # Version nodes and linker bookkeeping (" A ") are not functions of ours.
    if(line MATCHES "^[0-9a-fA-F]+ [B-Zb-z] ([A-Za-z_][A-Za-z0-9_]*)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()

zteqm_read_export_list(${EXPORTS} listed)

set(extra ${exported})
list(REMOVE_ITEM extra ${listed})
set(missing ${listed})
list(REMOVE_ITEM missing ${exported})
list(LENGTH exported exported_count)
list(LENGTH listed listed_count)
if(extra OR missing)
  message(FATAL_ERROR "exported but not listed: ${extra}\nlisted but not exported: ${missing}")
endif()
if(NOT exported_count EQUAL listed_count)
  message(FATAL_ERROR "${exported_count} names exported, ${listed_count} listed: some twice")
endif()
message(STATUS "${exported_count} exported functions, all listed (${listed_count} listed)")
