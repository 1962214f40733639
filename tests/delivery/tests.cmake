# Delivery: the installed package and the targets as other projects use them.
add_test(NAME delivery_consumers
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/CheckDelivery.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/delivery ${TESSEL_WITH_QT})
# Two builds of the library at most; keep it out of the way of the other tests.
set_tests_properties(delivery_consumers PROPERTIES RUN_SERIAL ON TIMEOUT 600)
