# Install rules: kaldorn.so, the public headers, the kaldorn tool, the CMake
# package (imported target kaldorn::kaldorn) and the pkg-config file. The
# version comes from the project() call and nowhere else.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KALDORN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kaldorn)

configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in
  ${PROJECT_BINARY_DIR}/include/kaldorn/version.h @ONLY)
target_include_directories(kaldorn PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)

install(TARGETS kaldorn EXPORT kaldornTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kaldorn.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kaldorn/ ${PROJECT_BINARY_DIR}/include/kaldorn/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kaldorn FILES_MATCHING PATTERN "*.h")

if(TARGET kaldorn_tool)
  # The installed tool finds the library beside it, wherever the prefix lies.
  set_target_properties(kaldorn_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS kaldorn_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT kaldornTargets NAMESPACE kaldorn:: DESTINATION ${KALDORN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kaldornConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kaldornConfig.cmake INSTALL_DESTINATION ${KALDORN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kaldornConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kaldornConfig.cmake ${PROJECT_BINARY_DIR}/kaldornConfigVersion.cmake
  DESTINATION ${KALDORN_CMAKE_DIR})

# The file carries no "lib" prefix, so -lkaldorn would not find it: Libs
# names it with -l:kaldorn.so.
# It finds its prefix from its own place, so the package stays relocatable.
file(RELATIVE_PATH KALDORN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KALDORN_PC_TO_PREFIX "${KALDORN_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kaldorn.pc.in ${PROJECT_BINARY_DIR}/kaldorn.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kaldorn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
