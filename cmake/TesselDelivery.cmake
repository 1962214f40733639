# Usage requirements and installation of the components' targets.
#
# A project that links Tessel::core or Tessel::CorvelTest5 gets C++20, the
# include directory and the link dependencies from the target itself,
# whether Tessel came in through add_subdirectory, FetchContent or
# find_package(Tessel), from an installation or from this build tree.
include(CMakePackageConfigHelpers)

set(TESSEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessel)
set(TESSEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)

# Programs that link the library get packed relative relocations where the
# linker and the C library support them: each test class's tables need a few
# relative relocations, and packed they take a fraction of the bytes. An
# installed package asks the consumer's own linker (TesselConfig.cmake).
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,-z,pack-relative-relocs" TESSEL_LINKER_PACKS_RELOCATIONS)

# Installed libraries find each other beside themselves, in the build tree
# as once installed: they are written to one folder and carry the same
# search path there. A build path that differs from the installed one is
# padded for the rewrite at installation with empty entries, and an empty
# entry searches the current directory.
function(tessel_search_beside lib)
  set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON
                        LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
get_property(tessel_framework_libraries GLOBAL PROPERTY TESSEL_FRAMEWORK_LIBRARIES)
foreach(lib IN LISTS tessel_framework_libraries)
  tessel_search_beside(${lib})
  if(TESSEL_LINKER_PACKS_RELOCATIONS)
    target_link_options(${lib} PUBLIC $<BUILD_INTERFACE:-Wl,-z,pack-relative-relocs>)
    target_link_options(${lib}_static INTERFACE $<BUILD_INTERFACE:-Wl,-z,pack-relative-relocs>)
  endif()
endforeach()
set(TESSEL_CONFIG_PACKED_TARGETS ${tessel_framework_libraries})
list(TRANSFORM TESSEL_CONFIG_PACKED_TARGETS APPEND "_static" OUTPUT_VARIABLE statics)
list(APPEND TESSEL_CONFIG_PACKED_TARGETS ${statics})
list(TRANSFORM TESSEL_CONFIG_PACKED_TARGETS REPLACE "^tessel_" "")
list(TRANSFORM TESSEL_CONFIG_PACKED_TARGETS PREPEND "Tessel::")

# As a subproject that installs nothing, only what the parent's programs link
# is built: a project that only wants unit tests does not build the Qt layers
# or the reference host because Qt happens to be on the machine.
if(NOT PROJECT_IS_TOP_LEVEL AND NOT TESSEL_INSTALL)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY EXCLUDE_FROM_ALL ON)
endif()

# Libraries of this project that a component's targets come to link (the
# host's packages, a helper library of a layer) are installed and exported
# with that component.
function(tessel_add_linked_libraries component)
  get_property(seen GLOBAL PROPERTY TESSEL_INSTALLED_TARGETS)
  get_property(queue GLOBAL PROPERTY TESSEL_COMPONENT_${component}_TARGETS)
  set(added)
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
      list(APPEND added ${lib})
      if(kind STREQUAL SHARED_LIBRARY)
        tessel_search_beside(${lib})
      endif()
    endforeach()
  endwhile()
  set_property(GLOBAL APPEND PROPERTY TESSEL_COMPONENT_${component}_TARGETS ${added})
  set_property(GLOBAL PROPERTY TESSEL_INSTALLED_TARGETS ${seen})
endfunction()

# pkg-config files, with the prefix the installation is made to (normalised,
# so flags read -I/opt/tessel/include/tessel, whatever --prefix said).
# tessel_pkg_config(<name> <Requires> <Libs> <Libs.private> <description>)
function(tessel_pkg_config name requires libs libs_private description)
  set(TESSEL_PC_DESCRIPTION "${description}")
  set(TESSEL_PC_REQUIRES "${requires}")
  set(TESSEL_PC_LIBS "${libs}")
  set(TESSEL_PC_LIBS_PRIVATE "${libs_private}")
  set(TESSEL_PC_PREFIX "@TESSEL_PC_PREFIX@")  # filled in when installed
  set(template ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc.in)
  set(out ${PROJECT_BINARY_DIR}/pkgconfig/installed/${name}.pc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/tessel.pc.in ${template} @ONLY)
  install(CODE "cmake_path(SET TESSEL_PC_PREFIX NORMALIZE \"\${CMAKE_INSTALL_PREFIX}\")
    string(REGEX REPLACE \"(.)/$\" \"\\\\1\" TESSEL_PC_PREFIX \"\${TESSEL_PC_PREFIX}\")
    configure_file(\"${template}\" \"${out}\" @ONLY)")
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

function(tessel_deliver)
  get_property(components GLOBAL PROPERTY TESSEL_COMPONENTS)
  set(TESSEL_CONFIG_COMPONENTS)
  set(TESSEL_CONFIG_QT_COMPONENTS)
  set(TESSEL_CONFIG_REQUIRES)
  foreach(component IN LISTS components)
    get_property(requires GLOBAL PROPERTY TESSEL_COMPONENT_${component}_REQUIRES)
    if(requires)
      string(APPEND TESSEL_CONFIG_REQUIRES "set(_tessel_requires_${component} ${requires})\n")
    endif()
    tessel_add_linked_libraries(${component})
    get_property(targets GLOBAL PROPERTY TESSEL_COMPONENT_${component}_TARGETS)
    get_property(qt GLOBAL PROPERTY TESSEL_COMPONENT_${component}_QT)
    list(APPEND TESSEL_CONFIG_COMPONENTS ${component})
    if(qt)
      list(APPEND TESSEL_CONFIG_QT_COMPONENTS ${component})
    endif()
    install(TARGETS ${targets} EXPORT Tessel${component}Targets
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(EXPORT Tessel${component}Targets NAMESPACE Tessel:: DESTINATION ${TESSEL_INSTALL_CMAKEDIR})
    # The same targets for find_package from this build tree (Tessel_DIR
    # set to it), with the headers and libraries where they are built.
    export(EXPORT Tessel${component}Targets NAMESPACE Tessel:: FILE ${PROJECT_BINARY_DIR}/Tessel${component}Targets.cmake)
    get_property(header_dirs GLOBAL PROPERTY TESSEL_COMPONENT_${component}_HEADERS)
    foreach(dir IN LISTS header_dirs)
      file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
      install(FILES ${headers} DESTINATION ${TESSEL_INSTALL_INCLUDEDIR}/${dir})
    endforeach()
  endforeach()

  # The build tree's package uses the discovery scripts where they are.
  set(config_in ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TesselConfig.cmake.in)
  set(TESSEL_CONFIG_DISCOVERY_DIR "\${CMAKE_CURRENT_LIST_DIR}")
  configure_package_config_file(${config_in} ${PROJECT_BINARY_DIR}/installed/TesselConfig.cmake
    INSTALL_DESTINATION ${TESSEL_INSTALL_CMAKEDIR})
  set(TESSEL_CONFIG_DISCOVERY_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  configure_package_config_file(${config_in} ${PROJECT_BINARY_DIR}/TesselConfig.cmake
    INSTALL_DESTINATION ${PROJECT_BINARY_DIR} INSTALL_PREFIX ${PROJECT_BINARY_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/TesselConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
  set(discovery ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TesselDiscoverTests.cmake
                ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TesselDiscoverTestsAdd.cmake)
  install(FILES ${PROJECT_BINARY_DIR}/installed/TesselConfig.cmake ${PROJECT_BINARY_DIR}/TesselConfigVersion.cmake
          ${discovery} DESTINATION ${TESSEL_INSTALL_CMAKEDIR})
endfunction()

if(TESSEL_INSTALL)
  # After the whole project is configured, so every component and every
  # library its targets link are known.
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tessel_deliver)

  # pkg-config: `tessel` is the core, `tessel-main` the core with its ready-made
  # main, `tessel-qt` the whole package with its Qt parts.
  list(TRANSFORM CMAKE_DL_LIBS PREPEND "-l" OUTPUT_VARIABLE dl)
  list(JOIN dl " " dl)
  tessel_pkg_config(tessel "" "-lTesselCore" "${dl}"
                    "Unit-testing framework for C++20: the core (framework, decorators, runners, command line)")
  tessel_pkg_config(tessel-main "tessel" "-ltessel_core_main" ""
                    "Unit-testing framework for C++20: the core and a main that runs the program's tests")
  if(TESSEL_WITH_QT)
    set(private -lTesselPlatformQt ${TESSEL_HOST_PACKAGES})
    list(TRANSFORM private REPLACE "^([^-])" "-l\\1")
    list(JOIN private " " private)
    tessel_pkg_config(tessel-qt "Qt6Widgets Qt6Sql Qt6Test" "-lCorvelTest5" "${private} ${dl}"
                      "Unit-testing framework for C++20: the whole CorvelTest5 package, with its Qt parts")
  endif()
endif()

# `cpack -G DEB` in the build directory makes a Debian package of the same
# installation (what the libraries need is worked out by dpkg-shlibdeps).
if(PROJECT_IS_TOP_LEVEL AND TESSEL_INSTALL)
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
