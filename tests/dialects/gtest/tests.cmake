# The GoogleTest dialect, held next to Debian's GoogleTest: each source is
# built against both, once, as targets of this build, and the tests run the
# two programs side by side and compare what they print and report.
set(gtest_dir ${CMAKE_CURRENT_LIST_DIR})
set(gtest_out ${CMAKE_CURRENT_BINARY_DIR}/gtest-dialect)
find_package(GTest CONFIG QUIET)
set(gtest_samples /usr/src/googletest/googletest/samples)

# name: the program; main: "main" when the dialect's and GoogleTest's
# ready-made mains are to be linked; the rest are the sources.
function(gtest_side_by_side name main)
  add_executable(${name}_tessel ${ARGN})
  add_executable(${name}_gtest ${ARGN})
  if(main STREQUAL "main")
    target_link_libraries(${name}_tessel PRIVATE Tessel::gtest_main_static)
    target_link_libraries(${name}_gtest PRIVATE GTest::gtest_main)
  else()
    target_link_libraries(${name}_tessel PRIVATE Tessel::gtest_static)
    target_link_libraries(${name}_gtest PRIVATE GTest::gtest)
  endif()
  target_include_directories(${name}_tessel PRIVATE ${gtest_samples})
  target_include_directories(${name}_gtest PRIVATE ${gtest_samples})
endfunction()

function(gtest_compare name)
  add_test(NAME gtest_compare_${name}
           COMMAND bash ${gtest_dir}/compare.sh $<TARGET_FILE:${name}_gtest> $<TARGET_FILE:${name}_tessel>
                   ${gtest_out}/${name} ${ARGN})
endfunction()

# Tessel's own options on a GoogleTest program.
add_executable(gtest_tessel_options ${gtest_dir}/TesselOptions.cpp)
target_link_libraries(gtest_tessel_options PRIVATE Tessel::gtest_main_static)
add_test(NAME gtest_tessel_options
         COMMAND bash ${gtest_dir}/tessel_options.sh $<TARGET_FILE:gtest_tessel_options> ${gtest_out}/options)

# A build that checks another compiler (tests/delivery/CheckClang.sh) runs
# the dialect's own program and leaves the side-by-side comparisons, whose
# texts do not depend on the compiler, to the main build.
option(TESSEL_GTEST_COMPARE "Build and run the GoogleTest dialect's comparisons with GoogleTest" ON)
if(NOT TESSEL_GTEST_COMPARE)
  return()
endif()

if(NOT TARGET GTest::gtest OR NOT EXISTS ${gtest_samples}/sample1_unittest.cc)
  # Without the reference the comparisons cannot run: one test says so.
  add_test(NAME gtest_compare_reference
           COMMAND ${CMAKE_COMMAND} -E echo "GoogleTest or its samples are missing: run scripts/install-deps.sh test")
  set_tests_properties(gtest_compare_reference PROPERTIES WILL_FAIL ON)
  return()
endif()

# GoogleTest's own samples 1 to 10, from where Debian's package puts them.
foreach(i RANGE 1 10)
  set(sources ${gtest_samples}/sample${i}_unittest.cc)
  if(i EQUAL 1 OR i EQUAL 5)
    list(APPEND sources ${gtest_samples}/sample1.cc)
  elseif(i EQUAL 2 OR i EQUAL 4)
    list(APPEND sources ${gtest_samples}/sample${i}.cc)
  endif()
  if(i GREATER_EQUAL 9)
    gtest_side_by_side(gtest_sample${i} own ${sources})
  else()
    gtest_side_by_side(gtest_sample${i} main ${sources})
  endif()
endforeach()
foreach(i RANGE 1 8)
  gtest_compare(gtest_sample${i} "--" "-- --gtest_list_tests" "REPORT xml --" "REPORT json --" "-- --gtest_brief=1")
endforeach()
gtest_compare(gtest_sample9 "--" "-- --terse_output" "REPORT xml --")
gtest_compare(gtest_sample10 "--" "-- --check_for_leaks" "REPORT xml -- --check_for_leaks")

# Every assertion family, passing and failing, with GoogleTest's texts.
gtest_side_by_side(gtest_assertions main ${gtest_dir}/compare/Assertions.cpp)
gtest_compare(gtest_assertions "--" "REPORT xml --" "REPORT json --" "-- --gtest_brief=1" "-- --isolate"
              "-- --gtest_color=yes --gtest_filter=Boolean.*:Explicit.*:Unexpected.*"
              "-- --gtest_print_time=0 --gtest_filter=Traces.*:Helpers.*")

# Fixtures, suites, environments, skips, properties, disabled tests, and the
# selection flags on them: filters, sharding, repetition, order, fail-fast.
gtest_side_by_side(gtest_lifecycle own ${gtest_dir}/compare/Lifecycle.cpp)
gtest_compare(gtest_lifecycle
  "--" "-- --gtest_list_tests" "REPORT xml --" "REPORT json --"
  "-- --gtest_filter=Ordered.*:Skips.*" "-- --gtest_filter=-Skips.*:*Throws*" "-- --gtest_filter=*.A-SuiteSetUp*"
  "-- --gtest_filter=NoSuchTest" "-- --gtest_filter=Disabled.* --gtest_also_run_disabled_tests"
  "-- --gtest_list_tests --gtest_filter=*Suite*"
  "GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=0 --" "GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=2 --"
  "GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=3 --"
  "-- --gtest_repeat=2 --gtest_filter=Ordered.*" "-- --gtest_repeat=2 --gtest_recreate_environments_when_repeating --gtest_filter=Skips.*"
  "GTEST_FILTER=Disabled.* --" "GTEST_BRIEF=1 --" "-- --gtest_fail_fast --gtest_filter=Skips.*:Ordered.*"
  "REPORT xml -- --gtest_filter=Recorded.*:Disabled.*")

# Parameterised and typed suites: their names, parameters and types.
gtest_side_by_side(gtest_parameters main ${gtest_dir}/compare/Parameters.cpp)
gtest_compare(gtest_parameters "--" "-- --gtest_list_tests" "REPORT xml --" "REPORT json --"
              "-- --gtest_filter=*/1:*Pattern*Zero*")

# Death tests: crashes, exits, signals and regular expressions, in the
# program's own process and with Tessel's --isolate.
gtest_side_by_side(gtest_death main ${gtest_dir}/compare/DeathTests.cpp)
gtest_compare(gtest_death "--" "REPORT xml --" "-- --isolate")

# CMake's stock gtest_discover_tests, and ctest -j2 on what it finds.
add_test(NAME gtest_discover_tests
         COMMAND bash ${gtest_dir}/discover_check.sh $<TARGET_FILE:gtest_lifecycle_gtest>
                 $<TARGET_FILE:gtest_lifecycle_tessel> ${gtest_out}/discovery)
add_test(NAME gtest_discover_parameters
         COMMAND bash ${gtest_dir}/discover_check.sh $<TARGET_FILE:gtest_parameters_gtest>
                 $<TARGET_FILE:gtest_parameters_tessel> ${gtest_out}/discovery-parameters)

# The dialect's benchmark at its smallest size: both builds of gen.py's
# GoogleTest programs must build, run and report the expected counts.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME gtest_bench_smoke
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/gtest_dialect.py --smoke --jobs 1
            --dialect-libs $<TARGET_FILE:tessel_gtest_static>,$<TARGET_FILE:CorvelTest5_static>
            --out ${gtest_out}/bench-smoke)
  set_tests_properties(gtest_bench_smoke PROPERTIES TIMEOUT 900)
endif()

# A GoogleTest program in Tessel's window (--runner=gui, offscreen), built as
# a consumer builds it, on Tessel::gtest_main and the shared framework with
# its windowed runner; its tree and failure list are held against
# GoogleTest's report of the same source.
if(TESSEL_WITH_QT)
  add_executable(gtest_window_tessel ${gtest_dir}/gui/WindowSuites.cpp ${gtest_dir}/gui/WindowDriver.cpp)
  target_include_directories(gtest_window_tessel PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(gtest_window_tessel PRIVATE Tessel::gtest_main Qt6::Widgets)
  add_executable(gtest_window_gtest ${gtest_dir}/gui/WindowSuites.cpp)
  target_link_libraries(gtest_window_gtest PRIVATE GTest::gtest_main)
  add_test(NAME gtest_window
           COMMAND ${Python3_EXECUTABLE} ${gtest_dir}/gui/window_check.py $<TARGET_FILE:gtest_window_gtest>
                   $<TARGET_FILE:gtest_window_tessel> ${gtest_out}/window)
  set_tests_properties(gtest_window PROPERTIES TIMEOUT 180)
endif()

# GoogleTest's checks of the program itself (suites that give no test,
# patterns that do not compile) and the list of tests as a document.
gtest_side_by_side(gtest_verification main ${gtest_dir}/compare/Verification.cpp)
target_link_libraries(gtest_verification_gtest PRIVATE GTest::gmock)
gtest_compare(gtest_verification "--" "REPORT xml --" "REPORT json --" "-- --gtest_list_tests"
  "REPORT xml -- --gtest_list_tests" "REPORT json -- --gtest_list_tests"
  "REPORT xml -- --gtest_list_tests --gtest_filter=Plain.*:*Instantiated*:-*/1"
  "REPORT json -- --gtest_list_tests --gtest_filter=Plain.*:*Instantiated*:-*/1"
  "GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=1 REPORT xml -- --gtest_list_tests"
  "GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=0 REPORT json -- --gtest_list_tests --gtest_also_run_disabled_tests"
  "-- --gtest_filter=Regex.* --isolate")
