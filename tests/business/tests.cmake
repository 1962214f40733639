# The business extensions and the reference host, on real SQLite and
# embedded Firebird files.
if(TESSEL_WITH_QT)
  tessel_add_test(business_tests
    ${CMAKE_CURRENT_LIST_DIR}/DatasetChecksTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DBClientTests.cpp
  )
  target_link_libraries(business_tests PRIVATE TesselPlatformQt Qt6::Core Qt6::Sql)
  target_include_directories(business_tests PRIVATE ${PROJECT_SOURCE_DIR})

  tessel_add_test(business_host_tests ${CMAKE_CURRENT_LIST_DIR}/HostTests.cpp)
  target_link_libraries(business_host_tests PRIVATE corvel5 corvelbase5 corvelbaseutil5 corvelreport5
                        TesselPlatformQt Qt6::Widgets Qt6::Sql)
  target_include_directories(business_host_tests PRIVATE ${PROJECT_SOURCE_DIR})
  set_tests_properties(business_host_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The speed of the dataset checks and digests (bench/README.md); CTest runs
# it small, to keep it building and its two sides agreeing.
if(TESSEL_WITH_QT)
  add_executable(bench_business ${PROJECT_SOURCE_DIR}/bench/BusinessBench.cpp)
  target_link_libraries(bench_business PRIVATE CorvelTest5 TesselPlatformQt Qt6::Core Qt6::Sql)
  target_include_directories(bench_business PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME business_bench_small COMMAND bench_business 2000 2)
endif()

if(TESSEL_WITH_QT AND CMAKE_READELF)
  add_test(NAME business_host_linkage
    COMMAND ${CMAKE_COMMAND} -DREADELF=${CMAKE_READELF} -DLIBDIR=$<TARGET_FILE_DIR:CorvelTest5>
            -P ${CMAKE_CURRENT_LIST_DIR}/CheckLinkage.cmake)
endif()

# vUtilTeste: dialog scripts, scenario data, report and parameter suites,
# on a real SQLite file and real (offscreen) forms.
if(TESSEL_WITH_QT)
  tessel_add_test(business_legacy_tests
    ${CMAKE_CURRENT_LIST_DIR}/vUtilTesteTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vUtilTesteReportTests.cpp
  )
  target_link_libraries(business_legacy_tests PRIVATE corvel5 corvelbase5 corvelbaseutil5 corvelreport5
                        TesselPlatformQt Qt6::Widgets Qt6::Sql)
  target_include_directories(business_legacy_tests PRIVATE ${PROJECT_SOURCE_DIR})
  set_tests_properties(business_legacy_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# vUtilTeste: the reports example keeps passing (one legacy suite of each kind).
if(TESSEL_WITH_QT AND TARGET tessel_reports_demo)
  add_test(NAME business_reports_demo COMMAND tessel_reports_demo)
  set_tests_properties(business_reports_demo PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
