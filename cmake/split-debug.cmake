# Install-time step: a release binary is installed stripped, and its debug information
# goes to .debug/<name>.debug beside it, which the stripped file names through a
# .gnu_debuglink section (where gdb looks for it). Other configurations keep theirs.
function(tb_split_debug file objcopy strip)
  if(NOT CMAKE_INSTALL_CONFIG_NAME MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    return()
  endif()
  set(path "$ENV{DESTDIR}${file}")
  get_filename_component(dir "${path}" DIRECTORY)
  get_filename_component(name "${path}" NAME)
  set(debug "${dir}/.debug/${name}.debug")
  file(MAKE_DIRECTORY "${dir}/.debug")
  foreach(step "${objcopy};--only-keep-debug;${path};${debug}" "${strip};--strip-all;${path}"
               "${objcopy};--add-gnu-debuglink=${debug};${path}")
    execute_process(COMMAND ${step} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "splitting the debug information of ${path} failed: ${step}")
    endif()
  endforeach()
  message(STATUS "Stripped: ${path} (debug information in .debug/${name}.debug)")
endfunction()
