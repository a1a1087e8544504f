// NVRAM partition 0 (/dev/mram0), shared with every program on the board
// that reads it. Multi-byte integers are big-endian.
//
//   0    32  firmware header (FirmwareHeader)
//   32    1  reboot count
//   33    1  suppress mode
//   34    2  not used by this system
//   36    4  down-log flag
//   40   16  down log (an error log record's saved form)
//   56    4  log count, signed
//   60  256  log entries
//   316   2  not used by this system
//   318   1  VLAN mode
//   319 177  not used by this system
//   496  10  identification block: 'M', ' ', "MMBInit" with its NUL
#ifndef NVRAM_LAYOUT_H
#define NVRAM_LAYOUT_H

#include <cstdint>

namespace nvram {

constexpr int HEADER_OFFSET = 0;
constexpr int HEADER_SIZE = 32;
constexpr int REBOOT_COUNT_OFFSET = 32;
constexpr int SUPPRESS_MODE_OFFSET = 33;
constexpr int DOWN_LOG_OFFSET = 36;     // flag, then the record
constexpr int DOWN_LOG_AREA_SIZE = 20;
constexpr int LOG_AREA_OFFSET = 56;     // count, then the entries
constexpr int LOG_AREA_SIZE = 260;
constexpr int VLAN_MODE_OFFSET = 318;
constexpr int ID_OFFSET = 0x1F0;
constexpr int ID_SIZE = 10;
constexpr uint8_t ID_BYTE = 'M';
constexpr char ID_NAME[8] = "MMBInit";  // bytes 2..9 of the block, NUL included
constexpr int ID_NAME_OFFSET = 2;

constexpr int NOR_WORDS_SIZE = 4;  // first bytes of /dev/mram3

constexpr int MAX_LOG_COUNT = 16;

// Firmware-update modes of header byte 0.
constexpr uint8_t FIRMUP_NONE = 0x00;
constexpr uint8_t FIRMUP_APPLY = 'F';
constexpr uint8_t FIRMUP_RECOVERY = 'R';

} // namespace nvram

#endif
