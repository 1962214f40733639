# The package frame: both packages loaded by a host, the static start, the files.
set(dir ${CMAKE_CURRENT_LIST_DIR})

# Built under one name, looked for under another: the required package that
# is absent at run time.
add_library(tessel_absent_package SHARED ${dir}/AbsentPackage.cpp)
set_target_properties(tessel_absent_package PROPERTIES NO_SONAME ON)
target_link_options(tessel_absent_package PRIVATE -Wl,-soname,libTesselAbsentPackage.so)
add_library(tessel_needs_absent_package SHARED ${dir}/NeedsAbsentPackage.cpp)
target_link_libraries(tessel_needs_absent_package PRIVATE CorvelTest5 tessel_absent_package)

# Links neither package; exports the step hook to the libraries it loads.
add_executable(package_host ${dir}/PackageHostTests.cpp)
target_include_directories(package_host PRIVATE ${PROJECT_SOURCE_DIR} ${dir})
target_link_libraries(package_host PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(package_host PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(package_host CorvelTest5 CorvelRichEditControl5 tessel_needs_absent_package)
add_test(NAME package_host COMMAND package_host $<TARGET_FILE:CorvelTest5> $<TARGET_FILE:CorvelRichEditControl5>
                                   $<TARGET_FILE:tessel_needs_absent_package>)

add_executable(package_static_start ${dir}/StaticStartTests.cpp)
target_include_directories(package_static_start PRIVATE ${dir})
target_link_libraries(package_static_start PRIVATE CorvelTest5_static)
add_test(NAME package_static_start COMMAND package_static_start)

add_test(NAME package_files COMMAND ${dir}/CheckPackageFiles.sh $<TARGET_FILE:CorvelTest5>
                                    $<TARGET_FILE:CorvelRichEditControl5>)
