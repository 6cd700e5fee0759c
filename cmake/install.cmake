# What `cmake --install` puts under the prefix besides the programs and the headers: the
# libraries, a CMake package (find_package(velk 1.1 CONFIG) gives the velk:: targets, their C++20
# requirement, include directory and dependencies), its version file, and a pkg-config file.
include(CMakePackageConfigHelpers)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/velk)
get_property(public_libraries GLOBAL PROPERTY velk_public_libraries)
install(TARGETS ${public_libraries} EXPORT velk_targets)
install(EXPORT velk_targets NAMESPACE velk:: FILE velkTargets.cmake DESTINATION ${package_dir})

configure_package_config_file(cmake/velkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velkConfig.cmake INSTALL_DESTINATION ${package_dir})
# A release of another major version may change what the headers promise.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velkConfig.cmake ${PROJECT_BINARY_DIR}/velkConfigVersion.cmake
  DESTINATION ${package_dir})

# The libraries in the order a static link needs: each before those it uses. The lab's fmt comes
# from fmt's own pkg-config file (Requires).
set(pkg_config_libs -lvelk_lab -lvelk_driver -lvelk_images -lvelk_search -lvelk_algorithms
                    -lvelk_random -lvelk_frame)
list(JOIN pkg_config_libs " " pkg_config_libs)
# Paths from the pkg-config file's own folder, so that the prefix can be chosen at install time.
file(RELATIVE_PATH pkg_config_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/velk.pc.in ${PROJECT_BINARY_DIR}/velk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
