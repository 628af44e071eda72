# Settings shared by every Windows target: static runtimes, so the DLL and the test
# programs import only what ships with Windows.
set(TB_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE @ONLY)

# Programs and DLLs land in bin/; the bundled plug-ins in bin/plugins/; the tests' own
# plug-ins in testplugins/. Tests find them relative to their own executable.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

add_compile_options(-Wall -Wextra -fno-strict-aliasing)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

# Resource scripts (the dialogs, the text table) go through windres.
enable_language(RC)

# The SDK: headers only.
add_library(tb_sdk INTERFACE)
target_include_directories(tb_sdk INTERFACE ${PROJECT_SOURCE_DIR}/include)

# GoogleTest from Debian's sources, built with this toolchain.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The win32 thread model's runtime has no std::mutex or std::condition_variable, which
# GoogleTest wants on Windows: the tests get both from Windows primitives.
target_compile_options(gtest PUBLIC -include
                       ${PROJECT_SOURCE_DIR}/tests/support/gtest_std_threads.h)

# One CTest test per test program: Wine starts once per program, not once per case.
# With WINDOWS the program creates windows and needs an X display: the one of the run
# when there is one, else a private Xvfb that ends with the test.
function(tb_add_wine_test name)
  cmake_parse_arguments(T "WINDOWS" "" "" ${ARGN})
  set(runner ${CMAKE_BINARY_DIR}/wine-run)
  if(T_WINDOWS)
    set(runner ${PROJECT_SOURCE_DIR}/cmake/with-display ${runner})
  endif()
  add_test(NAME ${name} COMMAND ${runner} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# A plug-in DLL: plain names for the two entry points through a .def file, and the
# runtime pieces that let the manager load and free it any number of times. DIR is the
# folder it lands in (bin/plugins for the bundled ones, testplugins for the tests').
function(tb_add_plugin name)
  cmake_parse_arguments(P "" "DEF;OUTPUT_NAME;DIR" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES} ${P_DEF})
  target_link_libraries(${name} PRIVATE tb_sdk tb_module_runtime ${P_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(P_DIR)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${P_DIR})
  endif()
  if(P_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
  endif()
endfunction()
