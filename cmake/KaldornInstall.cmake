# Install rules, in two components that become the two Debian packages:
# runtime (kaldorn.so, libkaldorn-trust.so.0 when built, the kaldorn tool with its manual page and bash
# completion, and the sibling library orlenmap.dll under lib/kaldorn/ for
# hosts to copy into a client directory) and dev (the public headers, the
# CMake package with imported targets kaldorn::kaldorn and kaldorn::trust,
# the pkg-config files and the libkaldorn-trust.so link). The version comes from the project() call and nowhere else.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KALDORN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kaldorn)

configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in
  ${PROJECT_BINARY_DIR}/include/kaldorn/version.h @ONLY)
target_include_directories(kaldorn PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)

# Shared objects are not executables: mode 0644, as Debian installs them.
set(KALDORN_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS kaldorn EXPORT kaldornTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime PERMISSIONS ${KALDORN_LIBRARY_PERMISSIONS}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS orlenmap LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/kaldorn COMPONENT runtime
  PERMISSIONS ${KALDORN_LIBRARY_PERMISSIONS})
if(KALDORN_BUILD_TRUST)
  set_target_properties(kaldorn_trust PROPERTIES EXPORT_NAME trust)
  install(TARGETS kaldorn_trust EXPORT kaldornTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
      PERMISSIONS ${KALDORN_LIBRARY_PERMISSIONS}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
else()
  set(trust_header_exclude PATTERN trust.h EXCLUDE)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/kaldorn.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kaldorn/ ${PROJECT_BINARY_DIR}/include/kaldorn/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kaldorn COMPONENT dev FILES_MATCHING PATTERN "*.h" ${trust_header_exclude})

if(TARGET kaldorn_tool)
  # The installed tool finds the library beside it, wherever the prefix lies.
  set_target_properties(kaldorn_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS kaldorn_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

  # The completion script, written by the tool from the command table it
  # parses with, so that the two cannot drift apart.
  set(completion ${PROJECT_BINARY_DIR}/share/kaldorn.bash)
  add_custom_command(OUTPUT ${completion}
    COMMAND kaldorn_tool --completion bash > ${completion}
    DEPENDS kaldorn_tool VERBATIM)
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME kaldorn COMPONENT runtime)

  # kaldorn(1) is the tool's reference page under a NAME and SYNOPSIS head.
  set(manual ${PROJECT_BINARY_DIR}/share/kaldorn.1)
  find_program(KALDORN_PANDOC pandoc)
  if(KALDORN_PANDOC)
    add_custom_command(OUTPUT ${manual} ${manual}.gz
      COMMAND ${KALDORN_PANDOC} --standalone --from markdown --to man
        --lua-filter ${PROJECT_SOURCE_DIR}/docs/man/manpage.lua
        -M title=KALDORN -M section=1 -M "footer=kaldorn ${PROJECT_VERSION}" -M "header=kaldorn manual"
        ${PROJECT_SOURCE_DIR}/docs/man/kaldorn.1.md ${PROJECT_SOURCE_DIR}/docs/reference/tool.md -o ${manual}
      COMMAND gzip -9n -c ${manual} > ${manual}.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/manpage.lua ${PROJECT_SOURCE_DIR}/docs/man/kaldorn.1.md
        ${PROJECT_SOURCE_DIR}/docs/reference/tool.md
      VERBATIM)
    install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  else()
    message(STATUS "pandoc not found: the manual page kaldorn(1) is not built (scripts/setup.sh installs it)")
    unset(manual)
  endif()
  add_custom_target(kaldorn_tool_docs ALL DEPENDS ${completion} ${manual})
endif()

install(EXPORT kaldornTargets NAMESPACE kaldorn:: DESTINATION ${KALDORN_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kaldornConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kaldornConfig.cmake INSTALL_DESTINATION ${KALDORN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kaldornConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kaldornConfig.cmake ${PROJECT_BINARY_DIR}/kaldornConfigVersion.cmake
  DESTINATION ${KALDORN_CMAKE_DIR} COMPONENT dev)

# The file carries no "lib" prefix, so -lkaldorn would not find it: Libs
# names it with -l:kaldorn.so.
# It finds its prefix from its own place, so the package stays relocatable.
file(RELATIVE_PATH KALDORN_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KALDORN_PC_TO_PREFIX "${KALDORN_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kaldorn.pc.in ${PROJECT_BINARY_DIR}/kaldorn.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kaldorn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
if(KALDORN_BUILD_TRUST)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kaldorn-trust.pc.in ${PROJECT_BINARY_DIR}/kaldorn-trust.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kaldorn-trust.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endif()
