# What a hostile or careless world hands the framework: secrets, files in
# shared folders, names, report paths; run through subject programs as
# their users run them. Each group of tests is a CTest test of its own, so
# that they can run side by side.
if(TESSEL_WITH_QT)
  set(hostile_bin ${CMAKE_CURRENT_BINARY_DIR}/hostile)
  foreach(subject names business business_static window)
    set(source ${CMAKE_CURRENT_LIST_DIR}/NamesSubject.cpp)
    if(subject MATCHES "^business")
      set(source ${CMAKE_CURRENT_LIST_DIR}/BusinessSubject.cpp)
    elseif(subject STREQUAL "window")
      set(source ${CMAKE_CURRENT_LIST_DIR}/WindowSubject.cpp)
    endif()
    add_executable(hostile_${subject} ${source})
    target_include_directories(hostile_${subject} PRIVATE ${PROJECT_SOURCE_DIR})
    set_target_properties(hostile_${subject} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${hostile_bin}/subjects)
  endforeach()
  target_link_libraries(hostile_names PRIVATE Tessel::main)
  target_link_libraries(hostile_business PRIVATE Tessel::main)
  target_link_libraries(hostile_business_static PRIVATE Tessel::main_static)
  # The window reads the tessel.ini beside it: a folder of its own.
  target_link_libraries(hostile_window PRIVATE CorvelTest5)
  set_target_properties(hostile_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${hostile_bin}/window)

  add_executable(hostile_tests ${CMAKE_CURRENT_LIST_DIR}/SecretsAndFilesTests.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/NamesAndReportsTests.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/DeliveryTests.cpp)
  target_link_libraries(hostile_tests PRIVATE Tessel::main)
  target_include_directories(hostile_tests PRIVATE ${PROJECT_SOURCE_DIR})
  # basetest.txt and cenariotest.txt are read beside the program: a folder of its own.
  set_target_properties(hostile_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${hostile_bin}/main)
  target_compile_definitions(hostile_tests PRIVATE
    HOSTILE_NAMES="$<TARGET_FILE:hostile_names>"
    HOSTILE_BUSINESS="$<TARGET_FILE:hostile_business>"
    HOSTILE_BUSINESS_STATIC="$<TARGET_FILE:hostile_business_static>"
    HOSTILE_WINDOW="$<TARGET_FILE:hostile_window>"
    HOSTILE_WINDOW_DIR="${hostile_bin}/window"
    HOSTILE_WORK_DIR="${hostile_bin}/work"
    HOSTILE_BUILD_DIR="${PROJECT_BINARY_DIR}"
    HOSTILE_CMAKE_DIR="${PROJECT_SOURCE_DIR}/cmake"
    HOSTILE_CMAKE="${CMAKE_COMMAND}"
    HOSTILE_CTEST="${CMAKE_CTEST_COMMAND}"
    HOSTILE_READELF="${CMAKE_READELF}")
  add_dependencies(hostile_tests hostile_names hostile_business hostile_business_static hostile_window)
  foreach(group Secrets SharedFolders Names Reports MemoryAndWindow Delivery)
    add_test(NAME hostile_${group} COMMAND hostile_tests --filter=Hostile.${group})
    set_tests_properties(hostile_${group} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 900)
  endforeach()
endif()
