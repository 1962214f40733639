# The windowed runner, driven headless (offscreen platform).
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_runner ${CMAKE_CURRENT_LIST_DIR}/GUITestRunnerTests.cpp)
  set_tests_properties(gui_runner PROPERTIES TIMEOUT 120)  # a window left waiting fails, not hangs
endif()
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_runner_config ${CMAKE_CURRENT_LIST_DIR}/GUITestRunnerConfigTests.cpp)
  set_tests_properties(gui_runner_config PROPERTIES TIMEOUT 120)
endif()
if(TESSEL_WITH_QT)
  # The README's picture of the window after a run of the example suites.
  set(examples ${PROJECT_SOURCE_DIR}/examples)
  add_executable(gui_runner_demo_screenshot ${CMAKE_CURRENT_LIST_DIR}/DemoScreenshot.cpp
    ${examples}/Sales.cpp ${examples}/InvoiceTests.cpp ${examples}/OrderTests.cpp
    ${examples}/DeliberateProblems.cpp ${examples}/JournalTests.cpp)
  target_include_directories(gui_runner_demo_screenshot PRIVATE ${examples})
  # Static, as the example program: the root suite bears the program's name.
  target_link_libraries(gui_runner_demo_screenshot PRIVATE CorvelTest5_static)
  add_test(NAME gui_runner_demo_screenshot COMMAND gui_runner_demo_screenshot)
  set_tests_properties(gui_runner_demo_screenshot PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()
if(TESSEL_WITH_QT)
  # Size figures of the windowed runner (bench/README.md); not a test.
  add_executable(gui_runner_bench EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/bench/gui/GuiRunnerBench.cpp)
  target_link_libraries(gui_runner_bench PRIVATE CorvelTest5)
endif()
