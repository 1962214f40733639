# Delivery: the library as other projects take it in, with CMake, Bazel and
# pkg-config, and the core built with clang.
add_test(NAME delivery_consumers
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/CheckDelivery.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/delivery ${TESSEL_WITH_QT})
add_test(NAME delivery_bazel
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/CheckBazel.sh ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/bazel)
add_test(NAME delivery_clang
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/CheckClang.sh ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/clang)
# Each builds the library once more with two jobs; they keep out of the way
# of the other tests. A missing Bazel or clang is a skip, said in one line.
# (CheckClang.sh takes other compilers too: clang++-16, say.)
set_tests_properties(delivery_consumers delivery_bazel delivery_clang PROPERTIES RUN_SERIAL ON TIMEOUT 1200)
set_tests_properties(delivery_bazel delivery_clang PROPERTIES SKIP_RETURN_CODE 77)
