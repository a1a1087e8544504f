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
# Either way the target closed_libraries stands for them.
set(MMB_PLATFORM sim CACHE STRING "Closed libraries to link: sim (simulated board) or board (the board's own)")
set_property(CACHE MMB_PLATFORM PROPERTY STRINGS sim board)

if(MMB_PLATFORM STREQUAL "sim")
  include(cmake/Emulation.cmake)
  add_subdirectory(sim)
  add_library(closed_libraries INTERFACE)
  target_link_libraries(closed_libraries INTERFACE sim_libraries)
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

add_library(closed_libraries INTERFACE)
foreach(library MMBLIB DUAL LMSG TRACE)
  find_library(MMB_LIBRARY_${library} NAMES ${MMB_LIBRARY_NAME_${library}} REQUIRED)
  target_link_libraries(closed_libraries INTERFACE ${MMB_LIBRARY_${library}})
endforeach()
