# The platform-free code (no windows.h) built with the host compiler under ASan and
# UBSan, with its tests and the fuzz targets' corpus replays.
set(TB_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra -g ${TB_SANITIZE})
add_link_options(${TB_SANITIZE})

add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Pure sources, by folder. Each file here must build without windows.h.
set(TB_PURE_SOURCES)
set(TB_PURE_TESTS)
set(TB_FUZZ_TARGETS)
foreach(dir base core services sources nls plugins tools)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/pure.cmake)
    include(${PROJECT_SOURCE_DIR}/${dir}/pure.cmake)
  endif()
endforeach()

add_library(tb_pure STATIC ${TB_PURE_SOURCES})
target_include_directories(tb_pure PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)

if(TB_PURE_TESTS)
  add_executable(tb_pure_tests ${TB_PURE_TESTS})
  target_link_libraries(tb_pure_tests PRIVATE tb_pure gtest gtest_main)
  add_test(NAME tb_pure_tests COMMAND tb_pure_tests)
endif()

# Each fuzz target: fuzz/<name>.cpp defines LLVMFuzzerTestOneInput; the replay main
# runs it over fuzz/corpus/<name>/ as an ordinary test.
foreach(target ${TB_FUZZ_TARGETS})
  add_executable(fuzz_${target}_replay ${PROJECT_SOURCE_DIR}/fuzz/${target}.cpp
                 ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(fuzz_${target}_replay PRIVATE tb_pure)
  add_test(NAME fuzz_${target}_replay
           COMMAND fuzz_${target}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
endforeach()
