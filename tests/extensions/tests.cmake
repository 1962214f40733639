# Decorators (unit TestExtensions).
tessel_add_test(extensions_decorators ${CMAKE_CURRENT_LIST_DIR}/DecoratorTests.cpp)
tessel_add_test(extensions_memory_test ${CMAKE_CURRENT_LIST_DIR}/MemoryTestTests.cpp)
