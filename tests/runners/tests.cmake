# Runners: the registry and the console runner.

# Registry edge cases, once with the framework as a shared library and once
# linked in statically (the registry root is then named after the program).
tessel_add_test(runners_registry ${CMAKE_CURRENT_LIST_DIR}/RegistryTests.cpp)
target_compile_definitions(runners_registry PRIVATE TESSEL_EXPECTED_ROOT="libCorvelTest5.so")

add_executable(runners_registry_static ${CMAKE_CURRENT_LIST_DIR}/RegistryTests.cpp
               $<TARGET_OBJECTS:tessel_test_main>)
target_link_libraries(runners_registry_static PRIVATE CorvelTest5_static)
target_compile_definitions(runners_registry_static PRIVATE TESSEL_EXPECTED_ROOT="runners_registry_static")
add_test(NAME runners_registry_static COMMAND runners_registry_static)

tessel_add_test(runners_text_listener ${CMAKE_CURRENT_LIST_DIR}/TextListenerTests.cpp)

# Golden-output runs of the console runner.
add_executable(runners_text_scenarios ${CMAKE_CURRENT_LIST_DIR}/TextRunnerScenarios.cpp)
target_link_libraries(runners_text_scenarios PRIVATE CorvelTest5)

set(TESSEL_RUNNERS_EXPECTED ${CMAKE_CURRENT_LIST_DIR}/expected)
set(TESSEL_RUNNERS_WORK ${CMAKE_CURRENT_BINARY_DIR}/runners-output)

# tessel_golden(NAME PROGRAM EXIT_CODE [options for RunAndCompare.sh...] [-- program args])
function(tessel_golden name program exit_code)
  add_test(NAME ${name}
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/RunAndCompare.sh --program $<TARGET_FILE:${program}>
                   --source-dir ${CMAKE_SOURCE_DIR} --work-dir ${TESSEL_RUNNERS_WORK} --name ${name}
                   --exit-code ${exit_code} ${ARGN})
endfunction()

function(tessel_text_golden scenario exit_code)
  tessel_golden(runners_text_${scenario} runners_text_scenarios ${exit_code}
                --expected ${TESSEL_RUNNERS_EXPECTED}/text_${scenario}.txt ${ARGN} -- ${scenario})
endfunction()

tessel_text_golden(sample 1)
tessel_text_golden(allpass 0)
tessel_text_golden(zero 0)
tessel_text_golden(errors 5)
tessel_text_golden(nested 0)
tessel_text_golden(twolevels 1)
tessel_text_golden(status 1)
tessel_text_golden(pause 0)
tessel_golden(runners_text_pause_line runners_text_scenarios 0 --input ${TESSEL_RUNNERS_EXPECTED}/two_lines_input.txt
              --expected ${TESSEL_RUNNERS_EXPECTED}/text_pause_line.txt -- pause)
tessel_text_golden(haltok 0)
tessel_text_golden(stopped 1)
tessel_text_golden(none 0)
# A broken standard output: the I/O error leaves the runner and reaches main,
# which reports it; nothing written before the failure is lost.
tessel_text_golden(losesoutput 3 --expected-stderr ${TESSEL_RUNNERS_EXPECTED}/text_stdout_full.stderr.txt)
tessel_golden(runners_text_stdout_full runners_text_scenarios 3 --stdout-to /dev/full
              --expected-stderr ${TESSEL_RUNNERS_EXPECTED}/text_stdout_full.stderr.txt -- sample)
tessel_golden(runners_text_many runners_text_scenarios 255 --contains "There were 256 failures:" -- many)

# The example program behind `make demo` ends successfully and shows both
# report sections.
tessel_golden(runners_demo tessel_demo 0 --contains "There was 1 error:" --contains "There was 1 failure:"
              --contains "Demo finished as planned")
