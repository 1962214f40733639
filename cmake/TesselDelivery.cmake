# Usage requirements and installation of the library targets.
#
# A project that links Tessel::CorvelTest5 gets C++20, the include directory
# and the link dependencies from the target itself, whether Tessel came in
# through add_subdirectory, FetchContent or find_package(Tessel).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessel)
set(TESSEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)

# Headers are included as "framework/TestFramework.h" from the source tree
# and from <prefix>/include/tessel once installed.
set(tessel_libraries CorvelTest5 CorvelTest5_static)
if(TARGET TesselPlatformQt)
  list(APPEND tessel_libraries TesselPlatformQt)
endif()
foreach(lib IN LISTS tessel_libraries)
  target_compile_features(${lib} PUBLIC cxx_std_20)
  target_include_directories(${lib} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${TESSEL_INSTALL_INCLUDEDIR}>)
  add_library(Tessel::${lib} ALIAS ${lib})
endforeach()

# Programs that link the library get packed relative relocations where the
# linker and the C library support them: each test class's tables need a few
# relative relocations, and packed they take a fraction of the bytes. An
# installed package asks the consumer's own linker (TesselConfig.cmake).
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,-z,pack-relative-relocs" TESSEL_LINKER_PACKS_RELOCATIONS)
if(TESSEL_LINKER_PACKS_RELOCATIONS)
  target_link_options(CorvelTest5 PUBLIC $<BUILD_INTERFACE:-Wl,-z,pack-relative-relocs>)
  target_link_options(CorvelTest5_static INTERFACE $<BUILD_INTERFACE:-Wl,-z,pack-relative-relocs>)
endif()

# Installed libraries find each other beside themselves, in the build tree
# as once installed: they are written to one folder and carry the same
# search path there. A build path that differs from the installed one is
# padded for the rewrite at installation with empty entries, and an empty
# entry searches the current directory.
function(tessel_search_beside lib)
  set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON
                        LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
foreach(lib IN LISTS tessel_libraries)
  get_target_property(kind ${lib} TYPE)
  if(kind STREQUAL SHARED_LIBRARY)
    tessel_search_beside(${lib})
  endif()
endforeach()

# The companion package needs no search path: it loads nothing.
if(TARGET CorvelRichEditControl5)
  list(APPEND tessel_libraries CorvelRichEditControl5)
  add_library(Tessel::CorvelRichEditControl5 ALIAS CorvelRichEditControl5)
endif()

install(TARGETS ${tessel_libraries} EXPORT TesselTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${TESSEL_INSTALL_INCLUDEDIR})

# The ready-made main (Tessel::main, Tessel::main_static) and the CTest
# discovery function go with the libraries.
set_target_properties(tessel_main PROPERTIES EXPORT_NAME main)
set_target_properties(tessel_main_static PROPERTIES EXPORT_NAME main_static)
install(TARGETS tessel_main tessel_main_static EXPORT TesselTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/TesselDiscoverTests.cmake ${CMAKE_CURRENT_LIST_DIR}/TesselDiscoverTestsAdd.cmake
  DESTINATION ${TESSEL_INSTALL_CMAKEDIR})

# Libraries of this project that CorvelTest5 comes to link after this point
# (the host's packages, a library of the windowed runner) are installed and
# exported with it, once the whole project is configured.
function(tessel_install_linked_libraries)
  set(seen ${ARGN})
  set(queue CorvelTest5 CorvelTest5_static)
  while(queue)
    list(POP_FRONT queue target)
    get_target_property(links ${target} LINK_LIBRARIES)
    get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
    foreach(lib IN LISTS links interface_links)
      if(NOT TARGET "${lib}")
        continue()
      endif()
      get_target_property(aliased ${lib} ALIASED_TARGET)
      if(aliased)
        set(lib ${aliased})
      endif()
      get_target_property(imported ${lib} IMPORTED)
      get_target_property(kind ${lib} TYPE)
      if(imported OR lib IN_LIST seen OR NOT kind MATCHES "^(SHARED|STATIC)_LIBRARY$")
        continue()
      endif()
      list(APPEND seen ${lib})
      list(APPEND queue ${lib})
      if(kind STREQUAL SHARED_LIBRARY)
        tessel_search_beside(${lib})
      endif()
      install(TARGETS ${lib} EXPORT TesselTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
    endforeach()
  endwhile()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tessel_install_linked_libraries ${tessel_libraries})

foreach(dir framework platform extensions runners gui business packages)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir})
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION ${TESSEL_INSTALL_INCLUDEDIR}
      FILES_MATCHING PATTERN "*.h")
  endif()
endforeach()

install(EXPORT TesselTargets NAMESPACE Tessel:: DESTINATION ${TESSEL_INSTALL_CMAKEDIR})
set(TESSEL_CONFIG_WITH_QT OFF)
if(TARGET TesselPlatformQt)
  set(TESSEL_CONFIG_WITH_QT ON)
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TesselConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TesselConfig.cmake INSTALL_DESTINATION ${TESSEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TesselConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TesselConfig.cmake ${PROJECT_BINARY_DIR}/TesselConfigVersion.cmake
  DESTINATION ${TESSEL_INSTALL_CMAKEDIR})

# pkg-config: the shared library by default; --static adds what the archive needs.
set(TESSEL_PC_REQUIRES_PRIVATE "")
set(TESSEL_PC_LIBS_PRIVATE "${CMAKE_DL_LIBS}")
list(TRANSFORM TESSEL_PC_LIBS_PRIVATE PREPEND "-l")
if(TESSEL_QT_OBJECTS)
  set(TESSEL_PC_REQUIRES_PRIVATE "Qt6Widgets Qt6Sql Qt6Test")
  string(PREPEND TESSEL_PC_LIBS_PRIVATE "-lTesselPlatformQt ")
endif()
# Relative to the file itself, so `cmake --install --prefix` anywhere works.
file(RELATIVE_PATH TESSEL_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" TESSEL_PC_PREFIX "${TESSEL_PC_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessel.pc.in ${PROJECT_BINARY_DIR}/tessel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# `cpack -G DEB` in the build directory makes a Debian package of the same
# installation (what the libraries need is worked out by dpkg-shlibdeps).
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_PACKAGE_NAME tessel)
  set(CPACK_PACKAGE_VENDOR "Tessel")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Unit-testing framework for C++20 (CorvelTest5)")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessel maintainers")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
endif()
