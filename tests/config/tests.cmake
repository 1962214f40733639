# Configuration persistence and memory-leak monitoring.
tessel_add_test(config_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/config/IniStoreTests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/config/RegistryStoreTests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/config/ConfigTreeTests.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/config/MemLeakTests.cpp)

# One call switches the measuring monitor on: the leaking test fails, the
# clean one passes; with the supplied monitors both pass.
add_executable(config_leak_program ${CMAKE_CURRENT_SOURCE_DIR}/config/LeakProgram.cpp)
target_link_libraries(config_leak_program PRIVATE CorvelTest5)
add_test(NAME config_leak_measuring
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:config_leak_program> -DEXPECT_SUCCESS=OFF
    "-DPATTERN1=FAIL TestLeaks: \\[EPostTestFailure\\] Memory leak of [0-9]+ bytes in the test body"
    "-DPATTERN2=PASS TestClean"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/config/ExpectOutput.cmake)
add_test(NAME config_leak_default_monitors
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:config_leak_program> -DARG=--default-monitors
    -DEXPECT_SUCCESS=ON "-DPATTERN1=PASS TestLeaks" "-DPATTERN2=PASS TestClean"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/config/ExpectOutput.cmake)
