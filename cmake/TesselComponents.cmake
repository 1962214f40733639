# Components: what a project asks for with find_package(Tessel COMPONENTS ...)
# and links as Tessel::<name>.
#
#   tessel_add_component(<component> [QT] TARGETS <target>... [HEADERS <folder>...]
#                        [REQUIRES <component>...])
#
# gives each target what a program linking it needs (C++20, the include
# directory in this build and once installed) and the name Tessel::<target>
# without a leading "tessel_" (tessel_main is Tessel::main); the targets, the
# libraries of this project they link, and the headers of each folder (given
# from the top of the source tree) go into the component's part of the
# installation. QT marks a component that needs Qt 6: find_package looks for
# Qt only when such a component is asked for; REQUIRES names the components
# whose targets this one's link, loaded with it. The core is always loaded, so
# the targets of a new layer may link Tessel::core and need nothing more.

include(GNUInstallDirs)

function(tessel_add_component component)
  cmake_parse_arguments(PARSE_ARGV 1 arg "QT" "" "TARGETS;HEADERS;REQUIRES")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_TARGETS)
    message(FATAL_ERROR "tessel_add_component(${component} [QT] TARGETS <target>... [HEADERS <folder>...] [REQUIRES <component>...])")
  endif()
  foreach(target IN LISTS arg_TARGETS)
    string(REGEX REPLACE "^tessel_" "" name ${target})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    get_target_property(kind ${target} TYPE)
    if(kind MATCHES "^(SHARED|STATIC)_LIBRARY$")
      target_compile_features(${target} PUBLIC cxx_std_20)
      target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tessel>)
    endif()
    add_library(Tessel::${name} ALIAS ${target})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY TESSEL_COMPONENTS ${component})
  set_property(GLOBAL APPEND PROPERTY TESSEL_COMPONENT_${component}_TARGETS ${arg_TARGETS})
  set_property(GLOBAL APPEND PROPERTY TESSEL_COMPONENT_${component}_HEADERS ${arg_HEADERS})
  set_property(GLOBAL PROPERTY TESSEL_COMPONENT_${component}_QT ${arg_QT})
  set_property(GLOBAL PROPERTY TESSEL_COMPONENT_${component}_REQUIRES ${arg_REQUIRES})
  set_property(GLOBAL APPEND PROPERTY TESSEL_INSTALLED_TARGETS ${arg_TARGETS})
endfunction()
