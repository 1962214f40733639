# The dialect's value printing, messages, assertion results and matchers,
# held next to what Debian's GoogleTest and GoogleMock print for the same
# values: ComparedTexts.cpp is built against each, and the tests run both.
set(dir ${CMAKE_CURRENT_LIST_DIR})
find_package(GTest CONFIG QUIET)
if(DEFINED TESSEL_GTEST_COMPARE AND NOT TESSEL_GTEST_COMPARE)
  return()  # the comparisons are left to the main build (tests.cmake)
endif()

if(TARGET GTest::gmock)
  add_executable(gtest_texts_reference ${dir}/ComparedTexts.cpp ${dir}/ComparedMatcherTexts.cpp)
  target_link_libraries(gtest_texts_reference PRIVATE GTest::gmock)
  set(reference $<TARGET_FILE:gtest_texts_reference>)
else()
  # The comparison then fails and says why, instead of passing unheard.
  set(reference "GoogleTest not found: run scripts/install-deps.sh test (libgtest-dev, libgmock-dev)")
endif()

add_executable(gtest_texts_dialect ${dir}/ComparedTexts.cpp ${dir}/ComparedMatcherTexts.cpp)
# Texts only: neither program is timed or debugged, and without optimisation
# and debug information their many instantiations compile in a fraction of
# the time.
foreach(program gtest_texts_reference gtest_texts_dialect)
  if(TARGET ${program})
    target_compile_options(${program} PRIVATE -O0 -g0)
  endif()
endforeach()
target_compile_definitions(gtest_texts_dialect PRIVATE TESSEL_DIALECT)
target_link_libraries(gtest_texts_dialect PRIVATE tessel_gtest_matchers)

foreach(unit Printers Matchers)
  string(TOLOWER ${unit} name)
  tessel_add_test(gtest_${name}_tests ${dir}/${unit}Tests.cpp)
  target_link_libraries(gtest_${name}_tests PRIVATE tessel_gtest_matchers)
  target_compile_definitions(gtest_${name}_tests PRIVATE GTEST_TEXTS_REFERENCE="${reference}"
                                                            GTEST_TEXTS_DIALECT="$<TARGET_FILE:gtest_texts_dialect>")
  add_dependencies(gtest_${name}_tests gtest_texts_dialect)
  if(TARGET gtest_texts_reference)
    add_dependencies(gtest_${name}_tests gtest_texts_reference)
  endif()
endforeach()
