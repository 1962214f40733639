# Runs PROG and compares its standard output with the file EXPECTED after
# replacing the source folder SRC by "<src>"; the exit code must be EXIT_CODE.
execute_process(COMMAND ${PROG} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REPLACE "${SRC}" "<src>" out "${out}")
file(READ "${EXPECTED}" expected)
if(NOT "${rc}" STREQUAL "${EXIT_CODE}")
  message(FATAL_ERROR "exit code ${rc}, expected ${EXIT_CODE}\n${out}")
endif()
if(NOT out STREQUAL expected)
  file(WRITE "${EXPECTED}.actual" "${out}")
  message(FATAL_ERROR "output differs from ${EXPECTED} (actual output in ${EXPECTED}.actual):\n${out}")
endif()
