# GUI testing: real widgets on the offscreen platform, which gives a shown
# window the activation and focus that key strokes and Tab need (no X server,
# no window manager).
if(TESSEL_WITH_QT)
  tessel_add_qt_test(gui_testing ${CMAKE_CURRENT_LIST_DIR}/GUITestingTests.cpp)
endif()
