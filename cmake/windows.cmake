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

# Installs a program or DLL of ours into DESTINATION (relative to the prefix); release
# builds are stripped there, their debug information kept in .debug/ beside them.
function(tb_install_binary target destination)
  install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${destination})
  install(CODE "include(\"${PROJECT_SOURCE_DIR}/cmake/split-debug.cmake\")
tb_split_debug(\"\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\"
               \"${CMAKE_OBJCOPY}\" \"${CMAKE_STRIP}\")")
endfunction()

# A VERSIONINFO resource for a program or DLL we ship: the SDK's version, the product
# name and DESCRIPTION, the file name it is built under.
function(tb_add_version_resource target description)
  set(TB_VERSION_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in TARGET ${target})
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/include)
endfunction()

# A plug-in DLL: plain names for the two entry points through a .def file, and the
# runtime pieces that let the manager load and free it any number of times. DIR is the
# folder it lands in (bin/plugins for the bundled ones, testplugins for the tests').
# The bundled ones (DIR is TB_BUNDLED_PLUGIN_DIR) are installed into bin/plugins.
function(tb_add_plugin name)
  cmake_parse_arguments(P "" "DEF;OUTPUT_NAME;DIR;DESCRIPTION" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES} ${P_DEF})
  target_link_libraries(${name} PRIVATE tb_sdk tb_module_runtime ${P_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(P_DIR)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${P_DIR})
  endif()
  if(P_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
  endif()
  if(NOT P_DESCRIPTION)
    set(P_DESCRIPTION "Tunebay plug-in")
  endif()
  tb_add_version_resource(${name} "${P_DESCRIPTION}")
  if(TB_BUNDLED_PLUGIN_DIR AND P_DIR STREQUAL TB_BUNDLED_PLUGIN_DIR)
    tb_install_binary(${name} bin/plugins)
  endif()
endfunction()
