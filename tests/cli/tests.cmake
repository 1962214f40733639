# The command line of test programs: options, selection, isolation, crashes.
add_executable(cli_crash_scenarios ${CMAKE_CURRENT_LIST_DIR}/CrashScenarios.cpp)
# Static, so that the registry root bears the program's name, as the XML reports expect.
target_link_libraries(cli_crash_scenarios PRIVATE Tessel::main_static)

# Every way a test ends its process, supervised, isolated and in one process;
# time limits, kills from outside, processes left, output order and runs side
# by side; options and selection. Exit codes, console text, and both reports
# read by xmllint and by their consumers.
foreach(check crash supervisor options)
  add_test(NAME cli_${check}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${check}_check.sh $<TARGET_FILE:cli_crash_scenarios>
                   ${CMAKE_CURRENT_BINARY_DIR}/cli-out/${check} ${CMAKE_CURRENT_LIST_DIR}/../xml)
endforeach()

# The unit tests take their main from Tessel::main, and CTest gets one test
# per test case from the program's own list (and, listed when ctest starts,
# one per suite).
add_executable(cli_unit_tests ${CMAKE_CURRENT_LIST_DIR}/CommandLineTests.cpp ${CMAKE_CURRENT_LIST_DIR}/SupervisorTests.cpp)
target_link_libraries(cli_unit_tests PRIVATE Tessel::main)
target_compile_definitions(cli_unit_tests PRIVATE CLI_UNIT_OUT_DIR="${CMAKE_CURRENT_BINARY_DIR}/cli-out/unit")
tessel_discover_tests(cli_unit_tests TEST_PREFIX "cli_unit:" PROPERTIES TIMEOUT 60)
tessel_discover_tests(cli_unit_tests PER_SUITE TEST_PREFIX "cli_suite:" DISCOVERY_MODE PRE_TEST)

# What tessel_discover_tests writes for a program, and how it fails.
add_test(NAME cli_discovery
         COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:cli_crash_scenarios>
                 -D SCRIPT=${PROJECT_SOURCE_DIR}/cmake/TesselDiscoverTestsAdd.cmake
                 -D SOURCE=${CMAKE_CURRENT_LIST_DIR}/CrashScenarios.cpp
                 -D OUT=${CMAKE_CURRENT_BINARY_DIR}/cli-out/discovery -P ${CMAKE_CURRENT_LIST_DIR}/discover_check.cmake)
# They count the scenario program's processes: one at a time.
set_tests_properties(cli_crash cli_supervisor cli_options cli_discovery PROPERTIES RESOURCE_LOCK cli_crash_scenarios)
