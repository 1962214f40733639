# Runs tessel_discover_tests' listing script on cli_crash_scenarios and checks
# the CTest file it writes: one test per case (or per suite), each with its
# filter, labels, source line and the caller's arguments and properties.
#
#   cmake -D EXE=... -D SCRIPT=... -D SOURCE=... -D OUT=... -P discover_check.cmake
set(failed 0)
macro(expect what)
  if(${ARGN})
    message(STATUS "ok: ${what}")
  else()
    message(STATUS "FAIL: ${what}")
    set(failed 1)
  endif()
endmacro()

function(discover out)
  execute_process(COMMAND ${CMAKE_COMMAND} -D TEST_TARGET=t -D TEST_EXECUTABLE=${EXE} -D TEST_WORKING_DIR=${OUT}
                          -D TEST_DISCOVERY_TIMEOUT=10 -D CTEST_FILE=${OUT}/${out} ${ARGN} -P ${SCRIPT}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE o ERROR_VARIABLE e)
  set(rc ${rc} PARENT_SCOPE)
  set(err "${o}${e}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${OUT})
discover(cases.cmake "-DTEST_EXTRA_ARGS=--isolate!TESSEL_SEP!--timeout=3" "-DTEST_PROPERTIES=TIMEOUT!TESSEL_SEP!9"
         -DTEST_PREFIX=p:)
expect("listing per case succeeds" rc EQUAL 0)
file(STRINGS ${OUT}/cases.cmake adds REGEX "^add_test")
list(LENGTH adds n)
expect("44 tests, one per case (${n})" n EQUAL 44)
file(READ ${OUT}/cases.cmake text)

# The line TESSEL_TEST(TestSegfault) is declared on, counted in the source.
file(STRINGS ${SOURCE} lines)
set(i 0)
foreach(l IN LISTS lines)
  math(EXPR i "${i} + 1")
  if(l MATCHES "TESSEL_TEST\\(TestSegfault\\)")
    set(segv_line ${i})
  endif()
endforeach()
string(FIND "${text}" "add_test([=[p:Death.TDeathTests.TestSegfault]=] [=[${EXE}]=] [=[--filter=Death.TDeathTests.TestSegfault]=] [=[--isolate]=] [=[--timeout=3]=])" at)
expect("a case runs alone, with the extra arguments" at GREATER -1)
string(FIND "${text}" "LABELS [=[Death;Death.TDeathTests]=] TESSEL_SOURCE_FILE [=[${SOURCE}]=] TESSEL_SOURCE_LINE ${segv_line} [=[TIMEOUT]=] [=[9]=]" at)
expect("labels from the suite path, its source line ${segv_line}, the caller's properties" at GREATER -1)

discover(suites.cmake -DTEST_PER_SUITE=TRUE)
file(STRINGS ${OUT}/suites.cmake adds REGEX "^add_test")
list(LENGTH adds n)
expect("9 tests, one per suite of cases (${n})" n EQUAL 9)
file(READ ${OUT}/suites.cmake text)
string(FIND "${text}" "[=[--filter=Calm.TCalmTests]=]" at)
expect("a suite runs whole" at GREATER -1)

set(EXE ${OUT}/no-such-program)
discover(none.cmake)
string(FIND "${err}" "Cannot list the tests of" at)
string(FIND "${err}" "no-such-program" named)  # CMake wraps long messages, so the path is looked for alone
expect("a program that cannot list its tests is a clear error" NOT rc EQUAL 0 AND at GREATER -1 AND named GREATER -1)

if(failed)
  message(FATAL_ERROR "discovery checks failed")
endif()
