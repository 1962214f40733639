# libCorvelTest5.so needs the host's libraries by SONAME and looks for them
# beside itself, so any host that provides them fits; the reference host's
# libraries carry exactly those SONAMEs.
# cmake -DREADELF=... -DLIBDIR=... -P CheckLinkage.cmake
function(dynamic_section lib out)
  execute_process(COMMAND ${READELF} -d ${LIBDIR}/${lib} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read ${LIBDIR}/${lib}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

dynamic_section(libCorvelTest5.so tessel)
if(NOT tessel MATCHES "NEEDED[^\n]*\\[libcorvel5\\.so\\]")
  message(FATAL_ERROR "libCorvelTest5.so does not need libcorvel5.so by SONAME:\n${tessel}")
endif()
if(NOT tessel MATCHES "RUNPATH[^\n]*\\[\\$ORIGIN")
  message(FATAL_ERROR "libCorvelTest5.so does not look beside itself first (RUNPATH $ORIGIN):\n${tessel}")
endif()
foreach(pkg corvel5 corvelbase5 corvelbaseutil5 corvelreport5)
  dynamic_section(lib${pkg}.so host)
  if(NOT host MATCHES "SONAME[^\n]*\\[lib${pkg}\\.so\\]")
    message(FATAL_ERROR "lib${pkg}.so does not carry the SONAME lib${pkg}.so:\n${host}")
  endif()
  if(host MATCHES "CorvelTest5")
    message(FATAL_ERROR "the host library lib${pkg}.so depends on Tessel:\n${host}")
  endif()
endforeach()
