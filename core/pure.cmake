# Platform-free parts of core/: the stored order text and the settings key path.
list(APPEND TB_PURE_SOURCES
     ${CMAKE_CURRENT_LIST_DIR}/order_text.cpp
     ${CMAKE_CURRENT_LIST_DIR}/settings_path.cpp)
list(APPEND TB_PURE_TESTS
     ${PROJECT_SOURCE_DIR}/tests/core_pure/order_text_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/core_pure/settings_path_test.cpp)
# Which plug-in library names the scan admits, and the designated module's host path.
list(APPEND TB_PURE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_names.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/core_pure/module_names_test.cpp)
