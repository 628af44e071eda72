# Platform-free parts of the host tool: its command-line parser and its JSON writer.
list(APPEND TB_PURE_SOURCES
     ${CMAKE_CURRENT_LIST_DIR}/host/cli.cpp
     ${CMAKE_CURRENT_LIST_DIR}/host/json.cpp)
list(APPEND TB_PURE_TESTS
     ${PROJECT_SOURCE_DIR}/tests/tools_pure/cli_test.cpp
     ${PROJECT_SOURCE_DIR}/tests/tools_pure/json_test.cpp)
list(APPEND TB_FUZZ_TARGETS host_cli)
