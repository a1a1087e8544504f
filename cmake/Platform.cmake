# Which implementation of the board's closed libraries (the board library,
# libdual, the message catalogue and the trace service) programs link:
#
#   sim    the simulated board's stand-ins in sim/libraries (the default):
#          every program runs on a simulated board, on a host or under
#          emulation, and the tests are built;
#   board  the board's own libraries, found in the toolchain's sysroot.
#          Nothing of sim/ is built, so nothing of it can reach an
#          installed file.
#
# Either way the target closed_libraries stands for them; the start-up
# library links it, and so does the installed package (cmake/Install.cmake):
# a program that links MMB::startup gets the closed libraries of the
# platform the library was built for.
set(MMB_PLATFORM sim CACHE STRING "Closed libraries to link: sim (simulated board) or board (the board's own)")
set_property(CACHE MMB_PLATFORM PROPERTY STRINGS sim board)

if(MMB_PLATFORM STREQUAL "sim")
  include(cmake/Emulation.cmake)
  add_subdirectory(sim)
  add_library(closed_libraries INTERFACE)
  target_link_libraries(closed_libraries INTERFACE $<BUILD_INTERFACE:sim_libraries>)
  return()
endif()

if(NOT MMB_PLATFORM STREQUAL "board")
  message(FATAL_ERROR "MMB_PLATFORM is sim or board, not '${MMB_PLATFORM}'")
endif()

# The libraries' names in the sysroot; an integrator whose SDK names them
# otherwise overrides these (or sets MMB_LIBRARY_* to the files themselves).
set(MMB_LIBRARY_NAME_MMBLIB MMBLib CACHE STRING "Name of the board library in the sysroot")
set(MMB_LIBRARY_NAME_DUAL dual CACHE STRING "Name of libdual in the sysroot")
set(MMB_LIBRARY_NAME_LMSG lmsg CACHE STRING "Name of the message catalogue library in the sysroot")
set(MMB_LIBRARY_NAME_TRACE mmbtrace CACHE STRING "Name of the trace service library in the sysroot")

# The installed package names each library by the name of the file found
# (libMMBLib.so: -lMMBLib), for the consumer's own sysroot to provide it: a
# path into this build's sysroot would mean nothing to a recipe elsewhere.
add_library(closed_libraries INTERFACE)
set(MMB_CLOSED_LIBRARY_NAMES "")
foreach(library MMBLIB DUAL LMSG TRACE)
  find_library(MMB_LIBRARY_${library} NAMES ${MMB_LIBRARY_NAME_${library}} REQUIRED)
  get_filename_component(name ${MMB_LIBRARY_${library}} NAME_WE)
  string(REGEX REPLACE "^lib" "" name ${name})
  list(APPEND MMB_CLOSED_LIBRARY_NAMES ${name})
  target_link_libraries(closed_libraries INTERFACE
    $<BUILD_INTERFACE:${MMB_LIBRARY_${library}}> $<INSTALL_INTERFACE:${name}>)
endforeach()
