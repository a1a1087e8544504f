# How programs of this build are started on a simulated board.
#
# A host build runs everything natively. A cross build (for example with
# cmake/powerpc-linux-gnu.cmake) runs its programs under the emulator named
# by CMAKE_CROSSCOMPILING_EMULATOR, while the simulator's own programs
# (mmb-sim, its tools and daemons) and the host's shell tools stay host
# programs: boards use those of a host build of this tree in
# MMB_SIM_HOST_DIR, which the cross build makes itself. (The cross build
# compiles its own copies of the simulator's programs too, since targets
# name them as dependencies; nothing starts those.)

if(NOT CMAKE_CROSSCOMPILING)
  # Folder of mmb-sim and the simulated daemons.
  set(MMB_SIM_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
  # LD_PRELOAD value that gives a process the device shim.
  set(MMB_SHIM_PRELOAD $<TARGET_FILE:mmbsim-devices>)
  # This build's tree when its programs run under the emulator.
  set(MMB_TARGET_DIR "")
  return()
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR OR NOT CMAKE_LIBRARY_ARCHITECTURE)
  message(FATAL_ERROR "a cross build needs CMAKE_CROSSCOMPILING_EMULATOR and a multiarch compiler")
endif()

set(MMB_SIM_HOST_DIR ${CMAKE_BINARY_DIR}-host CACHE PATH "Host build of the simulator's programs")
set(MMB_SIM_BIN_DIR ${MMB_SIM_HOST_DIR}/bin)
set(MMB_TARGET_DIR ${CMAKE_BINARY_DIR})

include(ExternalProject)
# mmb-sim depends on every piece it starts: the device shim, the simulated
# tools and daemons. $(MAKE) shares this build's job slots.
ExternalProject_Add(sim-host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${MMB_SIM_HOST_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMMB_BUILD_TESTS=OFF
             -DMMB_WARNINGS_AS_ERRORS=${MMB_WARNINGS_AS_ERRORS}
  BUILD_COMMAND $(MAKE) mmb-sim
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
# Whatever needs mmb-sim here (every test) needs the host one.
cmake_language(DEFER CALL add_dependencies mmb-sim sim-host)

# One LD_PRELOAD value serves the processes of both machines on a board:
# each one's loader expands $LIB to its own multiarch folder, lib/<triplet>
# on Debian, where the shim built for that machine lies.
execute_process(COMMAND c++ -print-multiarch OUTPUT_VARIABLE host_multiarch
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(shim libmmbsim-devices.so)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/lib/${host_multiarch} ${CMAKE_BINARY_DIR}/lib/${CMAKE_LIBRARY_ARCHITECTURE})
file(CREATE_LINK ${MMB_SIM_HOST_DIR}/lib/${shim} ${CMAKE_BINARY_DIR}/lib/${host_multiarch}/${shim} SYMBOLIC)
file(CREATE_LINK ../${shim} ${CMAKE_BINARY_DIR}/lib/${CMAKE_LIBRARY_ARCHITECTURE}/${shim} SYMBOLIC)
set(MMB_SHIM_PRELOAD "${CMAKE_BINARY_DIR}/\$LIB/${shim}")

# Every program of this build but the simulator's own gets a launcher in
# emulated-bin/ that runs it under the emulator, with the name it was
# started by as argv[0]; mmb-sim puts that folder first in a board's PATH.
# No binfmt_misc is assumed, so any host program on a board that starts one
# (bwrap, sh, env) must start it through its launcher. The launchers call a
# copy of the emulator's wrapper in this build tree, the one tree a board
# binds back when it lies under a folder the board replaces.
list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 emulator_wrapper)
file(COPY ${emulator_wrapper} DESTINATION ${CMAKE_BINARY_DIR}/emulated-bin/.emulator)
get_filename_component(emulator_wrapper_name ${emulator_wrapper} NAME)
set(MMB_LAUNCHER_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
list(REMOVE_AT MMB_LAUNCHER_EMULATOR 0)
list(PREPEND MMB_LAUNCHER_EMULATOR ${CMAKE_BINARY_DIR}/emulated-bin/.emulator/${emulator_wrapper_name})
function(mmb_write_launchers directory)
  if(directory STREQUAL "${PROJECT_SOURCE_DIR}/sim")
    return()
  endif()
  list(JOIN MMB_LAUNCHER_EMULATOR " " emulator)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/emulated-bin/$<TARGET_FILE_NAME:${target}>
        CONTENT "#!/bin/sh\nexec ${emulator} -0 \"\${0##*/}\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    mmb_write_launchers(${subdirectory})
  endforeach()
endfunction()
cmake_language(DEFER CALL mmb_write_launchers ${PROJECT_SOURCE_DIR})
