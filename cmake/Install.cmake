# What "cmake --install" puts in place, as a Yocto or Buildroot recipe runs it
# (cmake --install BUILD, with DESTDIR for the staging tree): nvram and
# mmb-collect (root's commands on the board) in sbin, mmb-decode in bin,
# their manual pages, and the start-up library with its headers, a CMake
# package (find_package(MMBStartup), target MMB::startup) and a pkg-config
# file (mmb-startup). Test programs stay out.
#
# The package carries the platform: MMB::startup and the .pc file name the
# closed libraries (board library, libdual, message catalogue, trace
# service) the library was built for. A board build names the board's own
# (the sysroot provides them and their headers); a simulator build names
# the simulated board's stand-ins, installed with their declarations in
# folders of their own (lib/mmb-sim, include/mmb-sim), where they cannot
# shadow a board vendor's headers, by the component "simulator" together
# with mmb-sim, its device shim, tools and daemons.
include(GNUInstallDirs)

set(MMB_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/mmb-startup)
set(MMB_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MMBStartup)
file(RELATIVE_PATH MMB_PACKAGE_TO_PREFIX /prefix/${MMB_PACKAGE_DIR} /prefix)

# "startup" alone is too general a name for a system library folder.
set_target_properties(startup PROPERTIES OUTPUT_NAME mmbstartup)

install(TARGETS nvram mmb-collect DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS mmb-decode DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/nvram.8 man/mmb-collect.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES man/mmb-decode.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS startup platform_headers closed_libraries EXPORT MMBStartupTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${MMB_HEADER_DIR})
install(DIRECTORY startup-library/ DESTINATION ${MMB_HEADER_DIR} FILES_MATCHING PATTERN "*.h")
install(FILES platform/include/board_devices.h DESTINATION ${MMB_HEADER_DIR})

if(MMB_PLATFORM STREQUAL "sim")
  include(cmake/InstallSimulator.cmake)
else()
  list(TRANSFORM MMB_CLOSED_LIBRARY_NAMES PREPEND -l OUTPUT_VARIABLE MMB_PC_LIBS_PRIVATE)
  string(JOIN " " MMB_PC_LIBS_PRIVATE ${MMB_PC_LIBS_PRIVATE})
endif()

install(EXPORT MMBStartupTargets NAMESPACE MMB:: DESTINATION ${MMB_PACKAGE_DIR})
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/MMBStartupConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
configure_file(cmake/MMBStartupConfig.cmake.in ${CMAKE_BINARY_DIR}/MMBStartupConfig.cmake @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/MMBStartupConfig.cmake ${CMAKE_BINARY_DIR}/MMBStartupConfigVersion.cmake
  DESTINATION ${MMB_PACKAGE_DIR})

# The pkg-config file names the prefix given at install time (--prefix), not
# the configured one: the template keeps @CMAKE_INSTALL_PREFIX@ until then.
set(MMB_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
configure_file(cmake/mmb-startup.pc.in ${CMAKE_BINARY_DIR}/mmb-startup.pc.install @ONLY)
install(CODE "configure_file(\"${CMAKE_BINARY_DIR}/mmb-startup.pc.install\" \"${CMAKE_BINARY_DIR}/mmb-startup.pc\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/mmb-startup.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
