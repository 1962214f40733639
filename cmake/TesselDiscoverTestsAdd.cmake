# Run by tessel_discover_tests: lists a test program's tests with --list=json
# and writes the add_test calls for them to CTEST_FILE.
cmake_minimum_required(VERSION 3.19)  # string(JSON)

execute_process(
  COMMAND "${TEST_EXECUTABLE}" --list=json
  WORKING_DIRECTORY "${TEST_WORKING_DIR}"
  TIMEOUT ${TEST_DISCOVERY_TIMEOUT}
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Cannot list the tests of ${TEST_EXECUTABLE} with --list=json "
                      "(result: ${result}; the discovery timeout is ${TEST_DISCOVERY_TIMEOUT} s):\n${errors}")
endif()
string(JSON count ERROR_VARIABLE json_error LENGTH "${listing}")
if(json_error)
  message(FATAL_ERROR "${TEST_EXECUTABLE} --list=json gave no JSON list: ${json_error}")
endif()

# A name as one bracket argument, whatever it holds.
function(bracket out text)
  set(eq "=")
  while(text MATCHES "\\]${eq}\\]")
    string(APPEND eq "=")
  endwhile()
  set(${out} "[${eq}[${text}]${eq}]" PARENT_SCOPE)
endfunction()

string(REPLACE "!TESSEL_SEP!" ";" TEST_EXTRA_ARGS "${TEST_EXTRA_ARGS}")
string(REPLACE "!TESSEL_SEP!" ";" TEST_PROPERTIES "${TEST_PROPERTIES}")
set(extra "")
foreach(a IN LISTS TEST_EXTRA_ARGS)
  bracket(q "${a}")
  string(APPEND extra " ${q}")
endforeach()
set(props "")
foreach(p IN LISTS TEST_PROPERTIES)
  bracket(q "${p}")
  string(APPEND props " ${q}")
endforeach()

set(script "# Written by tessel_discover_tests from ${TEST_EXECUTABLE} --list=json\n")
bracket(exe "${TEST_EXECUTABLE}")
bracket(wd "${TEST_WORKING_DIR}")

# add_one(NAME FILTER FILE LINE ENABLED): a function, not a macro, so that a
# "\" or "$" in a name is not read again as CMake syntax.
function(add_one path filter file line enabled)
  bracket(name "${TEST_PREFIX}${path}")
  bracket(flt "--filter=${filter}")
  # Labels: every suite path above the test ("A", "A.B", ...); a ";" in a
  # name stays inside its label.
  set(labels "")
  set(from 0)
  while(TRUE)
    string(SUBSTRING "${path}" ${from} -1 rest)
    string(FIND "${rest}" "." dot)
    if(dot EQUAL -1)
      break()
    endif()
    math(EXPR end "${from} + ${dot}")
    string(SUBSTRING "${path}" 0 ${end} label)
    string(REPLACE ";" "\\;" label "${label}")
    list(APPEND labels "${label}")
    math(EXPR from "${end} + 1")
  endwhile()
  if(TEST_PER_SUITE)
    string(REPLACE ";" "\\;" label "${path}")
    list(APPEND labels "${label}")
  endif()
  bracket(lab "${labels}")
  bracket(src "${file}")
  string(APPEND script "add_test(${name} ${exe} ${flt}${extra})\n")
  string(APPEND script "set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${wd} LABELS ${lab}"
                       " TESSEL_SOURCE_FILE ${src} TESSEL_SOURCE_LINE ${line}${props})\n")
  if(NOT enabled)
    string(APPEND script "set_tests_properties(${name} PROPERTIES DISABLED TRUE)\n")
  endif()
  set(script "${script}" PARENT_SCOPE)
endfunction()

# A NUL in a name cannot live in a CMake string: it is named "␀" (U+2400),
# and its filter, which the program gives, holds "?" in its place. Only a
# "\u0000" that is an escape (after an even run of backslashes) is one.
while(listing MATCHES "(^|[^\\])((\\\\\\\\)*)\\\\u0000")
  string(REGEX REPLACE "(^|[^\\])((\\\\\\\\)*)\\\\u0000" "\\1\\2\\\\u2400" listing "${listing}")
endwhile()

function(node_field out i field)
  string(JSON value ERROR_VARIABLE missing GET "${listing}" ${i} ${field})
  if(missing)
    set(value "")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

math(EXPR last "${count} - 1")
set(cases 0)
if(count GREATER 0)
  # Per suite: suites with cases of their own, each run without its nested
  # suites. Nodes are kept by index: a name may hold ";" or brackets, which
  # CMake lists would split or join.
  set(suites "")
  foreach(i RANGE ${last})
    node_field(kind ${i} kind)
    node_field(path_${i} ${i} path)
    node_field(filter_${i} ${i} filter)
    if(filter_${i} STREQUAL "")
      set(filter_${i} "${path_${i}}")
    endif()
    node_field(file ${i} file)
    node_field(line ${i} line)
    node_field(enabled ${i} enabled)
    set(path "${path_${i}}")
    string(LENGTH "${path}" plen)
    # The stack holds the suites open in the walk, outermost first; the
    # innermost whose path and a "." begin this one is the parent. Paths
    # are compared whole, so a "." inside a name misleads nothing.
    set(parent "")
    set(kept "")
    foreach(j IN LISTS stack)
      string(LENGTH "${path_${j}}" len)
      if(len LESS plen)
        string(SUBSTRING "${path}" 0 ${len} head)
        string(SUBSTRING "${path}" ${len} 1 sep)
        if("${head}" STREQUAL "${path_${j}}" AND "${sep}" STREQUAL ".")
          set(parent ${j})
          list(APPEND kept ${j})
          continue()
        endif()
      endif()
      break()
    endforeach()
    set(stack ${kept})
    if(kind STREQUAL "case")
      math(EXPR cases "${cases} + 1")
      if(TEST_PER_SUITE)
        if(NOT parent STREQUAL "" AND NOT parent IN_LIST suites)
          list(APPEND suites ${parent})
          set(file_${parent} "${file}")
        endif()
      else()
        add_one("${path}" "${filter_${i}}" "${file}" ${line} ${enabled})
      endif()
    else()
      list(APPEND stack ${i})
      if(NOT parent STREQUAL "")
        list(APPEND children_${parent} ${i})
      endif()
    endif()
  endforeach()
  foreach(s IN LISTS suites)
    set(filter "${filter_${s}}")
    foreach(child IN LISTS children_${s})
      string(APPEND filter ",-${filter_${child}}")
    endforeach()
    add_one("${path_${s}}" "${filter}" "${file_${s}}" 0 true)
  endforeach()
endif()
if(cases EQUAL 0)
  message(WARNING "${TEST_EXECUTABLE} has no test cases")
endif()
file(WRITE "${CTEST_FILE}" "${script}")
