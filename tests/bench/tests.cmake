# The benchmark harness at its smallest size: every framework's generated
# program must build, run and report the expected counts. Nothing here looks
# at a time; the figures come from `make bench`.
# The short cuts on the run loop's hot path against the slow ways they replace.
tessel_add_test(bench_hot_paths ${CMAKE_CURRENT_LIST_DIR}/HotPathTests.cpp)

find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME bench_smoke
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/bench.py --smoke --jobs 1
            --frameworks available --tessel-lib $<TARGET_FILE:CorvelTest5_static>
            --out ${CMAKE_CURRENT_BINARY_DIR}/bench-smoke)
  # 77: a peer framework is not installed (scripts/install-deps.sh bench).
  set_tests_properties(bench_smoke PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77)
endif()

# The benchmark of supervised runs at its smallest size: its programs must
# build and report their counts, and --jobs=2 must report what the serial run
# reports. No time is looked at here.
if(Python3_Interpreter_FOUND)
  add_test(NAME bench_supervisor_smoke
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/supervisor.py --smoke --frameworks none --jobs 1
            --tessel-lib $<TARGET_FILE:CorvelTest5_static> --out ${CMAKE_CURRENT_BINARY_DIR}/bench-supervisor-smoke)
  set_tests_properties(bench_supervisor_smoke PROPERTIES TIMEOUT 600)
endif()
