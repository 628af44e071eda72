# Platform-free parts of sources/: source names, path splitting and the artist/title rule.
list(APPEND TB_PURE_SOURCES
     ${CMAKE_CURRENT_LIST_DIR}/source_name.cpp
     ${CMAKE_CURRENT_LIST_DIR}/artist_title.cpp
     ${CMAKE_CURRENT_LIST_DIR}/proxy_math.cpp)
list(APPEND TB_PURE_TESTS
     ${PROJECT_SOURCE_DIR}/tests/sources_pure/source_name_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/sources_pure/artist_title_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/sources_pure/proxy_math_test.cpp)
list(APPEND TB_FUZZ_TARGETS artist_title source_name)
