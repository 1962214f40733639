# GUI testing: real widgets on the offscreen platform, which gives a shown
# window the activation and focus that key strokes and Tab need (no X server,
# no window manager).
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_testing ${CMAKE_CURRENT_LIST_DIR}/GUITestingTests.cpp)
  # A window that waits for a person must fail the run, not hold it up.
  set_tests_properties(gui_testing PROPERTIES TIMEOUT 120)
endif()

# The click and typing benchmark (bench/README.md); CTest only runs it small,
# to keep it building and counting right. Nothing here looks at a time.
if(TESSEL_WITH_QT)
  add_executable(gui_testing_bench ${PROJECT_SOURCE_DIR}/bench/GUITestingBench.cpp)
  target_link_libraries(gui_testing_bench PRIVATE CorvelTest5 TesselPlatformQt Qt6::Widgets Qt6::Test)
  add_test(NAME gui_testing_bench_smoke COMMAND gui_testing_bench 20 1)
  set_tests_properties(gui_testing_bench_smoke PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The windowed runner driven by GUI testing; it joins as soon as the runner's
# unit is in the tree.
if(TESSEL_WITH_QT AND EXISTS ${PROJECT_SOURCE_DIR}/gui/GUITestRunner.h)
  tessel_add_qt_test(gui_testing_runner ${CMAKE_CURRENT_LIST_DIR}/GUITestingRunnerTests.cpp)
  set_tests_properties(gui_testing_runner PROPERTIES TIMEOUT 120)
endif()
