# Installs the package the documented way into a fresh virtual environment, offline, and runs
# its tests from there against LIBRARY.
#   cmake -DPYTHON=/usr/bin/python3 -DSOURCE_DIR=... -DVENV=... -DLIBRARY=... -P run_tests.cmake
foreach(variable PYTHON SOURCE_DIR VENV LIBRARY)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run_tests.cmake: -D${variable}=... is required")
  endif()
endforeach()

# pip builds in the package's directory: start from no earlier build there either.
file(REMOVE_RECURSE "${VENV}" "${SOURCE_DIR}/python/build")
# No package index is reachable, and none may be asked.
set(ENV{PIP_NO_INDEX} 1)
set(ENV{PIP_DISABLE_PIP_VERSION_CHECK} 1)
set(ENV{PYTHONDONTWRITEBYTECODE} 1)
unset(ENV{PYTHONPATH})
unset(ENV{PYTHONHOME})

execute_process(COMMAND "${PYTHON}" -m venv --system-site-packages "${VENV}"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${VENV}/bin/pip" install --quiet --no-build-isolation --no-deps
                        "${SOURCE_DIR}/python"
  WORKING_DIRECTORY "${SOURCE_DIR}"
  COMMAND_ERROR_IS_FATAL ANY)

set(ENV{ZTEQM_LIBRARY} "${LIBRARY}")
# Run from outside the source tree, so that the installed package is the one imported.
execute_process(COMMAND "${VENV}/bin/python" -c
  "import sys, ztequationmanager as m; assert m.__file__.startswith(sys.prefix), m.__file__; print('testing', m.__file__, 'with', m.library_path())"
  WORKING_DIRECTORY "${VENV}"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${VENV}/bin/python" -m pytest -p no:cacheprovider -q
                        "${SOURCE_DIR}/python/tests"
  WORKING_DIRECTORY "${VENV}"
  COMMAND_ERROR_IS_FATAL ANY)
