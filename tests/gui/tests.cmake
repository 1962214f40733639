# The windowed runner, driven headless (offscreen platform).
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_runner ${CMAKE_CURRENT_LIST_DIR}/GUITestRunnerTests.cpp)
endif()
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_runner_config ${CMAKE_CURRENT_LIST_DIR}/GUITestRunnerConfigTests.cpp)
endif()
