# The command line of test programs: options, selection, isolation, crashes.
add_executable(cli_crash_scenarios ${CMAKE_CURRENT_LIST_DIR}/CrashScenarios.cpp)
# Static, so that the registry root bears the program's name, as the XML reports expect.
target_link_libraries(cli_crash_scenarios PRIVATE Tessel::main_static)
