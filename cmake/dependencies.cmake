# Optional parts find what they need through zteqm_find_package, which stops the configuration
# with what to install and how to leave the part out, instead of CMake's generic message.
#
#   zteqm_find_package(<package> [<find_package arguments>...]
#                      FOR <part> DEBIAN <Debian package> GROUP <install-deps group>
#                      OPTION <option that leaves the part out>)
function(zteqm_find_package package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOR;DEBIAN;GROUP;OPTION" "")
  find_package(${package} ${arg_UNPARSED_ARGUMENTS} QUIET)
  if(NOT ${package}_FOUND)
    zteqm_missing_dependency("${arg_FOR}" "${package}" "${arg_DEBIAN}" "${arg_GROUP}"
      "${arg_OPTION}")
  endif()
endfunction()

function(zteqm_missing_dependency part what debian group option)
  message(FATAL_ERROR
    "Building ${part} needs ${what}, which was not found.\n"
    "Install it from Debian (${debian}), for example with\n"
    "    scripts/install-deps ${group}\n"
    "or configure with -D${option}=OFF to build without ${part}.")
endfunction()
