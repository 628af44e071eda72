# Platform-free parts of nls/: the language table, the text table loader and the lookup.
list(APPEND TB_PURE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/nls_translator.cpp
     ${CMAKE_CURRENT_LIST_DIR}/language_table.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/nls_pure/nls_translator_test.cpp)
list(APPEND TB_FUZZ_TARGETS nls_table)
