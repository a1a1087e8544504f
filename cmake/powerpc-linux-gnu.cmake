# Cross build for the board: 32-bit big-endian PowerPC Linux, with Debian's
# cross compilers (g++-powerpc-linux-gnu). Programs built here run on the
# host under user-mode emulation (qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(MMB_TARGET_TRIPLET powerpc-linux-gnu)
set(CMAKE_C_COMPILER ${MMB_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MMB_TARGET_TRIPLET}-g++)

# The target's C library and C++ runtime; the emulator looks there too.
set(MMB_TARGET_SYSROOT /usr/${MMB_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${MMB_TARGET_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No binfmt_misc is assumed: every target program is started through this.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-user-run.sh qemu-ppc -L ${MMB_TARGET_SYSROOT})

# A board build (MMB_PLATFORM=board) finds the board's closed libraries in
# the board SDK's sysroot as well.
if(MMB_BOARD_SYSROOT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MMB_BOARD_SYSROOT})
endif()
