# Runs PROGRAM (with ARG when given) and checks its exit status and output:
#   EXPECT_SUCCESS  ON when the program must exit with 0, OFF when it must not
#   PATTERN1..4     regular expressions the standard output must match
execute_process(COMMAND ${PROGRAM} ${ARG} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
message("${out}${err}")
if(EXPECT_SUCCESS AND NOT rc EQUAL 0)
  message(FATAL_ERROR "expected success, got exit status ${rc}")
elseif(NOT EXPECT_SUCCESS AND rc EQUAL 0)
  message(FATAL_ERROR "expected a failing exit status, got 0")
endif()
foreach(i 1 2 3 4)
  if(DEFINED PATTERN${i} AND NOT out MATCHES "${PATTERN${i}}")
    message(FATAL_ERROR "output does not match: ${PATTERN${i}}")
  endif()
endforeach()
