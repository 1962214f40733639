# Core: tree, run loop, checks, registry.
tessel_add_test(core_tests
  core/RunLoopTests.cpp
  core/ChecksTests.cpp
  core/TreeTests.cpp
  core/SharedPagesTests.cpp
)

# Expected to fail, in exactly this way.
add_executable(core_known_failures core/KnownFailures.cpp $<TARGET_OBJECTS:tessel_test_main>)
target_link_libraries(core_known_failures PRIVATE CorvelTest5)
add_test(NAME core_known_failures
  COMMAND ${CMAKE_COMMAND} -DPROG=$<TARGET_FILE:core_known_failures>
          -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/core/expected/known_failures.txt
          -DSRC=${PROJECT_SOURCE_DIR} -DEXIT_CODE=1 -P ${CMAKE_CURRENT_SOURCE_DIR}/CompareOutput.cmake)

# Empty-method recognition must hold for unoptimised code with CET prologues too.
tessel_add_test(core_tree_O0 core/TreeTests.cpp)
target_compile_options(core_tree_O0 PRIVATE -O0 -fcf-protection=full)
