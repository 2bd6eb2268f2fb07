# Counts the instructions of KVAEQM_EvaluateTriggerName with callgrind over the driver's
# evaluations and fails when the count per equation exceeds the budget.
#
# -DVALGRIND= -DDRIVER= -DMIX= -DCOUNT= -DEVALUATIONS= -DBUDGET= -DOUTPUT=
set(profile ${OUTPUT}/callgrind.${MIX}.out)
execute_process(
  COMMAND ${VALGRIND} --tool=callgrind --toggle-collect=KVAEQM_EvaluateTriggerName
          --callgrind-out-file=${profile} ${DRIVER} ${MIX} ${COUNT} ${EVALUATIONS}
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the driver failed under callgrind (${status}):\n${log}")
endif()
file(STRINGS ${profile} totals REGEX "^(summary|totals): [0-9]+")
if(NOT totals)
  message(FATAL_ERROR "no instruction total in ${profile}")
endif()
list(GET totals 0 line)
string(REGEX REPLACE "^[a-z]+: ([0-9]+).*" "\\1" instructions "${line}")
math(EXPR perEquation "${instructions} / (${COUNT} * ${EVALUATIONS})")
message(STATUS "mix ${MIX}: ${instructions} instructions, ${perEquation} per equation "
               "(budget ${BUDGET})")
if(perEquation GREATER BUDGET)
  message(FATAL_ERROR "mix ${MIX} costs ${perEquation} instructions per equation, above the "
                      "budget of ${BUDGET}")
endif()
