# What `cmake --install` puts into a prefix for hosts and plug-in authors:
#   include/tunebay/        the SDK headers
#   bin/                    tunebay.dll, tunebay-host.exe (release builds stripped, their
#   bin/plugins/            debug information in .debug/ beside them), bundled plug-ins
#   lib/libtunebay.dll.a    import library for GetTunebay; lib/tunebay.def for MSVC's lib
#   lib/cmake/Tunebay/      find_package(Tunebay): Tunebay::sdk, Tunebay::host,
#                           tunebay_add_plugin()
# The binaries themselves are installed where they are built (dll/, tools/, plugins/).
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tunebay DESTINATION include
        FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_SOURCE_DIR}/dll/tunebay.def DESTINATION lib)

set(tb_package_dir ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/cmake/TunebayConfig.cmake.in
               ${tb_package_dir}/TunebayConfig.cmake @ONLY)
# The binary contract changes only with the major version.
write_basic_package_version_file(${tb_package_dir}/TunebayConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${tb_package_dir}/TunebayConfig.cmake ${tb_package_dir}/TunebayConfigVersion.cmake
        DESTINATION lib/cmake/Tunebay)
