# The business extensions and the reference host, on real SQLite and
# embedded Firebird files.
if(TESSEL_WITH_QT)
  tessel_add_test(business_tests
    ${CMAKE_CURRENT_LIST_DIR}/DatasetChecksTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DBClientTests.cpp
  )
  target_link_libraries(business_tests PRIVATE TesselPlatformQt Qt6::Core Qt6::Sql)
  target_include_directories(business_tests PRIVATE ${PROJECT_SOURCE_DIR})
endif()
