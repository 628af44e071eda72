# Platform-free parts of base/: the executable image reader.
list(APPEND TB_PURE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/pe_image.cpp)
list(APPEND TB_PURE_TESTS ${PROJECT_SOURCE_DIR}/tests/base_pure/pe_image_test.cpp)
list(APPEND TB_FUZZ_TARGETS pe_image)
