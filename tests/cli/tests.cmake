# The command line of test programs: options, selection, isolation, crashes.
add_executable(cli_crash_scenarios ${CMAKE_CURRENT_LIST_DIR}/CrashScenarios.cpp)
# Static, so that the registry root bears the program's name, as the XML reports expect.
target_link_libraries(cli_crash_scenarios PRIVATE Tessel::main_static)

# Crashes, exits and hangs, with and without --isolate: exit codes, console
# text, and both reports read by xmllint and the CI tools.
add_test(NAME cli_crashes
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/crash_check.sh $<TARGET_FILE:cli_crash_scenarios>
                 ${CMAKE_CURRENT_BINARY_DIR}/cli-out/crashes ${CMAKE_CURRENT_LIST_DIR}/../xml)

# The unit tests take their main from Tessel::main, and CTest gets one test
# per test case from the program's own list (and, listed when ctest starts,
# one per suite).
add_executable(cli_unit_tests ${CMAKE_CURRENT_LIST_DIR}/CommandLineTests.cpp)
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
