# tessel_discover_tests(target
#                       [PER_SUITE]
#                       [TEST_PREFIX prefix]
#                       [EXTRA_ARGS arg...]
#                       [WORKING_DIRECTORY dir]
#                       [PROPERTIES name value...]
#                       [DISCOVERY_TIMEOUT seconds]            default 5
#                       [DISCOVERY_MODE POST_BUILD|PRE_TEST])  default POST_BUILD
#
# Adds one CTest test per test case of a Tessel test program (one per suite
# of test cases with PER_SUITE), found by running the program with
# --list=json. Each test runs the program with --filter=<suite path> and gets
# labels from its suite path and the properties TESSEL_SOURCE_FILE and
# TESSEL_SOURCE_LINE; a disabled test case is a disabled CTest test.
#
# POST_BUILD lists the tests when the program is built (a program that cannot
# list them fails the build); PRE_TEST lists them when ctest starts, which
# suits programs that cannot run on the build machine.
function(tessel_discover_tests target)
  # Found beside this file, wherever it is called from: a variable set when
  # this file was included would be empty in the parent directory of an
  # add_subdirectory or FetchContent, and `cmake -P ""` does nothing, quietly.
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TesselDiscoverTestsAdd.cmake")
  cmake_parse_arguments(PARSE_ARGV 1 arg "PER_SUITE" "TEST_PREFIX;WORKING_DIRECTORY;DISCOVERY_TIMEOUT;DISCOVERY_MODE"
                        "EXTRA_ARGS;PROPERTIES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tessel_discover_tests(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "tessel_discover_tests: \"${target}\" is not a target")
  endif()
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT arg_DISCOVERY_TIMEOUT)
    set(arg_DISCOVERY_TIMEOUT 5)
  endif()
  if(NOT arg_DISCOVERY_MODE)
    set(arg_DISCOVERY_MODE POST_BUILD)
  endif()
  if(NOT arg_DISCOVERY_MODE MATCHES "^(POST_BUILD|PRE_TEST)$")
    message(FATAL_ERROR "tessel_discover_tests(${target}): DISCOVERY_MODE is POST_BUILD or PRE_TEST, not ${arg_DISCOVERY_MODE}")
  endif()

  # Several calls for one target get files of their own.
  get_property(count TARGET ${target} PROPERTY TESSEL_DISCOVERED_COUNT)
  if(NOT count)
    set(count 0)
  endif()
  math(EXPR count "${count} + 1")
  set_property(TARGET ${target} PROPERTY TESSEL_DISCOVERED_COUNT ${count})
  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}[${count}]")
  set(include_file "${base}_include.cmake")
  set(tests_file "${base}_tests.cmake")

  # Lists cross the command line as one word each.
  string(REPLACE ";" "!TESSEL_SEP!" extra_args "${arg_EXTRA_ARGS}")
  string(REPLACE ";" "!TESSEL_SEP!" properties "${arg_PROPERTIES}")
  set(script_args
    -D "TEST_TARGET=${target}"
    -D "TEST_EXECUTABLE=$<TARGET_FILE:${target}>"
    -D "TEST_WORKING_DIR=${arg_WORKING_DIRECTORY}"
    -D "TEST_EXTRA_ARGS=${extra_args}"
    -D "TEST_PROPERTIES=${properties}"
    -D "TEST_PREFIX=${arg_TEST_PREFIX}"
    -D "TEST_PER_SUITE=${arg_PER_SUITE}"
    -D "TEST_DISCOVERY_TIMEOUT=${arg_DISCOVERY_TIMEOUT}"
    -D "CTEST_FILE=${tests_file}")

  if(arg_DISCOVERY_MODE STREQUAL "POST_BUILD")
    add_custom_command(TARGET ${target} POST_BUILD
      BYPRODUCTS "${tests_file}"
      COMMAND "${CMAKE_COMMAND}" ${script_args} -P "${script}"
      VERBATIM)
    file(WRITE "${include_file}"
      "if(EXISTS \"${tests_file}\")\n"
      "  include(\"${tests_file}\")\n"
      "else()\n"
      "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
      "endif()\n")
  else()
    # Listed again whenever the program is newer than the last list.
    string(REPLACE ";" "\" \"" quoted_args "\"${script_args}\"")
    string(CONCAT content
      "if(EXISTS \"$<TARGET_FILE:${target}>\")\n"
      "  if(NOT EXISTS \"${tests_file}\" OR \"$<TARGET_FILE:${target}>\" IS_NEWER_THAN \"${tests_file}\")\n"
      "    execute_process(COMMAND \"${CMAKE_COMMAND}\" ${quoted_args} -P \"${script}\"\n"
      "                    RESULT_VARIABLE result)\n"
      "    if(NOT result EQUAL 0)\n"
      "      add_test(${target}_NOT_DISCOVERED ${target}_NOT_DISCOVERED)\n"
      "      return()\n"
      "    endif()\n"
      "  endif()\n"
      "  include(\"${tests_file}\")\n"
      "else()\n"
      "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
      "endif()\n")
    file(GENERATE OUTPUT "${include_file}" CONTENT "${content}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include_file}")
endfunction()
