# Qt 6 for the windowed runner, GUI testing and the business extensions.
# Without it the core is built alone, and one line says so: a project that
# only wants unit tests needs no Qt.
if(TESSEL_WITH_QT)
  find_package(Qt6 6.4 QUIET COMPONENTS Core Gui Widgets Sql Test)
  if(NOT Qt6_FOUND)
    message(STATUS "Tessel: Qt 6.4 or later (Core, Gui, Widgets, Sql, Test) not found: building the core only, "
                   "without the windowed runner, GUI testing and the business extensions")
    set(TESSEL_WITH_QT OFF)
  endif()
endif()

if(TESSEL_WITH_QT)
  add_library(tessel_qt_objects OBJECT)
  set_target_properties(tessel_qt_objects PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_include_directories(tessel_qt_objects PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(tessel_qt_objects PUBLIC TesselPlatformQt Qt6::Widgets Qt6::Sql Qt6::Test)
  target_compile_definitions(tessel_qt_objects PRIVATE QT_NO_CAST_FROM_ASCII)
endif()
