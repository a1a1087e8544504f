/// @file
/// NVRAM partition 0 (/dev/mram0), shared with every program on the board
/// that reads it. Multi-byte integers are big-endian.
///
/// @verbatim
///   0    32  firmware header (FirmwareHeader)
///   32    1  reboot count
///   33    1  suppress mode
///   34    2  not used by this system
///   36    4  down-log flag
///   40   16  down log (an error log record's saved form)
///   56    4  log count, signed
///   60  256  log entries
///   316   2  not used by this system
///   318   1  VLAN mode
///   319 177  not used by this system
///   496  10  identification block: 'M', ' ', "MMBInit" with its NUL
/// @endverbatim
#ifndef NVRAM_LAYOUT_H
#define NVRAM_LAYOUT_H

#include <cstdint>

namespace nvram {

/// The firmware header (InitMMBFirm::FirmwareHeader).
constexpr int HEADER_OFFSET = 0;
/// Bytes of the firmware header.
constexpr int HEADER_SIZE = 32;
/// Reboot count, one byte.
constexpr int REBOOT_COUNT_OFFSET = 32;
/// Suppress mode, one byte.
constexpr int SUPPRESS_MODE_OFFSET = 33;
constexpr int DOWN_LOG_OFFSET = 36;     ///< flag, then the record
/// Bytes of the down-log flag and record.
constexpr int DOWN_LOG_AREA_SIZE = 20;
constexpr int LOG_AREA_OFFSET = 56;     ///< count, then the entries
/// Bytes of the log count and entries.
constexpr int LOG_AREA_SIZE = 260;
/// VLAN mode, one byte.
constexpr int VLAN_MODE_OFFSET = 318;
/// The identification block: 'M', any byte, "MMBInit" with its NUL.
constexpr int ID_OFFSET = 0x1F0;
/// Bytes of the identification block.
constexpr int ID_SIZE = 10;
/// Byte 0 of the identification block.
constexpr uint8_t ID_BYTE = 'M';
constexpr char ID_NAME[8] = "MMBInit";  ///< bytes 2..9 of the block, NUL included
/// Where ID_NAME lies in the block.
constexpr int ID_NAME_OFFSET = 2;

constexpr int NOR_WORDS_SIZE = 4;  ///< first bytes of /dev/mram3

/// Highest valid log count.
constexpr int MAX_LOG_COUNT = 16;

/// Firmware-update modes of header byte 0.
constexpr uint8_t FIRMUP_NONE = 0x00;
/// Update mode: the firmware apply was requested.
constexpr uint8_t FIRMUP_APPLY = 'F';
/// Update mode: recovery.
constexpr uint8_t FIRMUP_RECOVERY = 'R';

} // namespace nvram

#endif
