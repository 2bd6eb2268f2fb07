# Checks that Windows programs and DLLs import only from the system (KERNEL32.dll and the
# system C runtime msvcrt.dll), so that they load on a machine without MinGW.
#   -DOBJDUMP=objdump -DFILES=a.dll;b.exe
foreach(file ${FILES})
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${file}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(import ${imports})
    string(REPLACE "DLL Name: " "" name "${import}")
    string(TOLOWER "${name}" name)
    if(NOT name MATCHES "^(kernel32|msvcrt)\\.dll$")
      message(FATAL_ERROR "${file} needs ${name}, which a Windows machine does not have")
    endif()
  endforeach()
  get_filename_component(shown ${file} NAME)
  message(STATUS "${shown}: ${imports}")
endforeach()
