# Platform-free parts of services/: component keys.
list(APPEND TB_PURE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/component_key.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/services_pure/component_key_test.cpp)
# Platform-free parts of services/: applying the stored decoder order.
list(APPEND TB_PURE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/source_order.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/services_pure/source_order_test.cpp)
