# XML report runners: unit tests, golden reports and the CI tools that read them.
set(XML_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(XML_OUT_DIR ${CMAKE_CURRENT_BINARY_DIR}/xml-out)
set(TESSEL_JUNIT2JSON ${XML_TEST_DIR}/node_modules/.bin/junit2json
    CACHE FILEPATH "npm's junit2json command (scripts/install-deps.sh test installs it)")

tessel_add_test(xml_unit_tests ${XML_TEST_DIR}/XmlRunnerTests.cpp)
target_compile_definitions(xml_unit_tests PRIVATE XML_UNIT_OUT_DIR="${XML_OUT_DIR}/unit")

# Linked statically, so that the registry's root bears the program's name
# and stays out of the report paths.
add_executable(xml_report_scenarios ${XML_TEST_DIR}/ReportScenarios.cpp)
target_link_libraries(xml_report_scenarios PRIVATE CorvelTest5_static)

# Console output and reports, byte for byte after masking dates and times.
foreach(mode nunit-sample suitepath-sample mixed empty rate33 badpath)
  add_test(NAME xml_golden_${mode}
           COMMAND bash ${XML_TEST_DIR}/golden_compare.sh $<TARGET_FILE:xml_report_scenarios> ${mode}
                   ${XML_OUT_DIR}/golden ${XML_TEST_DIR}/golden)
endforeach()

# What CI servers make of the reports of a mixed run and of a run whose
# names and messages are full of what XML cannot take as it is.
set(reports ${XML_OUT_DIR}/consumers)
add_test(NAME xml_consumer_reports
         COMMAND bash ${XML_TEST_DIR}/consumers.sh generate $<TARGET_FILE:xml_report_scenarios> ${reports}
                 mixed hostile)
set_tests_properties(xml_consumer_reports PROPERTIES FIXTURES_SETUP xml_reports)

set(mixed_messages --cases 8 --failures 4
    --message "names, expected: <Smith & Sons> but was: <Smith>"
    --message "disk \"full\" & <gone>"
    --message "SetUp FAILED: no database"
    --message "TearDown FAILED: cannot drop the schema"
    --passed TestBeforeTearDown --passed TestPasses)
set(hostile_messages --cases 5 --failures 4
    --contains "expected: <\"Smith & Sons\"> but was: <'Smith'> <b>bold</b>"
    --contains "huge & <message> \"quoted\""
    --min-length 1000000)
function(xml_consumer_test name)
  add_test(NAME ${name} COMMAND bash ${XML_TEST_DIR}/consumers.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED xml_reports)
endfunction()
xml_consumer_test(xml_wellformed wellformed ${reports}/mixed/nunit.xml ${reports}/mixed/tessel-report.xml
                  ${reports}/hostile/nunit.xml ${reports}/hostile/tessel-report.xml)
xml_consumer_test(xml_jenkins_nunit_mixed jenkins-nunit ${reports}/mixed/nunit.xml 9 4 1)
xml_consumer_test(xml_jenkins_nunit_hostile jenkins-nunit ${reports}/hostile/nunit.xml 5 4 0)
xml_consumer_test(xml_github_nunit_mixed github-nunit ${reports}/mixed/nunit.xml 9 1 3 1)
xml_consumer_test(xml_junitparser_mixed junitparser ${reports}/mixed/tessel-report.xml ${mixed_messages})
xml_consumer_test(xml_junitparser_hostile junitparser ${reports}/hostile/tessel-report.xml ${hostile_messages})
xml_consumer_test(xml_junit2json_mixed junit2json ${TESSEL_JUNIT2JSON} ${reports}/mixed/tessel-report.xml
                  ${mixed_messages})
xml_consumer_test(xml_junit2json_hostile junit2json ${TESSEL_JUNIT2JSON} ${reports}/hostile/tessel-report.xml
                  ${hostile_messages})
