# The Qt side of the platform (headless: the offscreen platform plugin).
if(TESSEL_WITH_QT)
  function(tessel_add_qt_test name)
    tessel_add_test(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE TesselPlatformQt Qt6::Widgets Qt6::Test)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endfunction()
  tessel_add_qt_test(qt_platform_forms ${CMAKE_CURRENT_LIST_DIR}/FormsTests.cpp)
endif()
