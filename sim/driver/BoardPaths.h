// Where a simulated board keeps its hardware, logs and file tree.
// This code is loaded into every process on the board (through the device
// shim), so it uses the C library only.
#ifndef SIM_BOARD_PATHS_H
#define SIM_BOARD_PATHS_H

#include <stddef.h>

namespace sim {

// Environment variable naming the board directory inside the sandbox.
constexpr const char* BOARD_ENV = "MMBSIM_BOARD";

// Files and folders inside a board directory.
constexpr const char* CPLD_FILE = "hw/cpld";             // 16-bit registers, big-endian
constexpr const char* MRAM_FILE_FORMAT = "hw/mram%d";    // NVRAM partition images
constexpr const char* MRAM_SUM_FORMAT = "hw/mram%d.sum"; // the driver's stored checksums
constexpr const char* FLASH_FILE_FORMAT = "hw/%s";       // NOR flash images (mtd0, mtd1)
constexpr const char* EEPROM_FILE = "hw/eeprom";         // board EEPROM: byte 0 the next boot bank
constexpr const char* CLOCK_FILE = "hw/clock";           // "SECONDS MICROSECONDS STEP": a board clock that
                                                         // moves STEP microseconds at every reading
constexpr const char* FAULT_FILE = "hw/faults";          // armed faults, one per line
constexpr const char* CPLD_WRITE_LOG = "log/cpld-writes"; // every register write, in order
constexpr const char* EVENT_LOG = "log/events";          // simulated tool calls and power losses
constexpr const char* MOUNT_TABLE = "mounts";            // mounted devices: "device directory"
constexpr const char* ROOT_DIR = "root";                 // the board's own file tree
constexpr const char* HCP_DIR_FORMAT = "hcp%d";          // firmware file systems 0 and 1

// Writes "<board>/<formatted relative path>" into out. False when the
// board directory is unknown or the result does not fit.
bool boardPath(char* out, size_t size, const char* board, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Opens "<board>/<file>" (close-on-exec; created with mode 0644 when flags
// say so); -1 when the board is unknown, the path does not fit, or open fails.
int openBoardFile(const char* board, const char* file, int flags);

// The board directory named by the environment, or null.
const char* boardFromEnvironment();

} // namespace sim

#endif
