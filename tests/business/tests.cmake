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

# vUtilTest: its own folder, with the sales application's packages beside
# it (the connection suites load "<name>_<module>.so" from there), and the
# sales application's own business tests.
if(TESSEL_WITH_QT AND TARGET vendas_0)
  add_executable(business_vutiltest_tests ${CMAKE_CURRENT_LIST_DIR}/vUtilTestTests.cpp)
  set_target_properties(business_vutiltest_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/vutiltest)
  target_link_libraries(business_vutiltest_tests PRIVATE CorvelTest5 TesselPlatformQt Qt6::Widgets Qt6::Sql)
  target_include_directories(business_vutiltest_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(business_vutiltest_tests PRIVATE
    SALES_APP_SCHEMA="${PROJECT_SOURCE_DIR}/examples/sales-app/schema.sql")
  add_dependencies(business_vutiltest_tests vendas_0 vendasdm_0)
  add_custom_command(TARGET business_vutiltest_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vendas_0> $<TARGET_FILE:vendasdm_0>
            $<TARGET_FILE_DIR:business_vutiltest_tests>)
  add_test(NAME business_vutiltest_tests COMMAND business_vutiltest_tests)
  add_test(NAME sales_app_tests COMMAND sales_app_tests)
  set_tests_properties(business_vutiltest_tests sales_app_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                       TIMEOUT 300)
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
