# The Qt side of the platform (headless: the offscreen platform plugin).
if(TESSEL_WITH_QT)
  function(tessel_add_qt_test name)
    tessel_add_test(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE TesselPlatformQt Qt6::Widgets Qt6::Test)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endfunction()
  tessel_add_qt_test(qt_platform_forms ${CMAKE_CURRENT_LIST_DIR}/FormsTests.cpp)
endif()

# Qt applications made by tests, in the workers of a supervised run.
if(TESSEL_WITH_QT)
  add_executable(qt_supervised_scenarios ${CMAKE_CURRENT_LIST_DIR}/SupervisedQtScenarios.cpp)
  target_link_libraries(qt_supervised_scenarios PRIVATE Tessel::main_static TesselPlatformQt Qt6::Widgets)
  add_test(NAME qt_supervised
           COMMAND bash -c "\"$0\" --runner=nunit --output=\"$1/qt.xml\" > \"$1/qt.txt\" 2>&1; test $? -eq 1 && \
python3 \"$2\" nunit \"$1/qt.xml\" --cases 3 --passed TestWindowShows --passed TestWindowShowsAgain \
--failed 'TestCrashesWithAWindow=signal 11 (SIGSEGV'"
                   $<TARGET_FILE:qt_supervised_scenarios> ${CMAKE_CURRENT_BINARY_DIR}
                   ${PROJECT_SOURCE_DIR}/tests/cli/report_check.py)
  set_tests_properties(qt_supervised PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
