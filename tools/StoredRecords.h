// The records a board keeps, read from its decoded files for the readers
// that reason over them (the health verdict, the timeline).
#ifndef STORED_RECORDS_H
#define STORED_RECORDS_H

#include "BoardItem.h"
#include "InitErrorLog.h"
#include "RecordDecoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Code bytes of error log records that their readers tell apart.
namespace recordcode {
constexpr uint8_t WATCHDOG_REGISTER = 2;      // first code byte: watchdog timer register access
constexpr uint8_t FIRMWARE_BOOKKEEPING = 3;   // first code byte: copy and exchange results of an update
constexpr uint8_t ROLLED_BACK = 0x10;         // its second code byte: the update was rolled back
constexpr uint8_t COPY_FAILED = 0x20;         // its second code byte: a standby copy failed
constexpr uint8_t NOR_MISMATCH = 0x60;        // its second code byte: the active NOR differs from the package
constexpr uint8_t BANK_SELECTION = 4;         // first code byte: a boot ROM bank could not be selected
constexpr uint8_t BOTH_EXCHANGED = 7;         // first code byte: firmware and boot program both exchanged
constexpr uint8_t PROCESS_SUPERVISION = 9;    // first code byte
constexpr uint8_t START_FAILED = 1;           // its third code byte: a daemon could not be started
constexpr uint8_t REBOOT_PATH = 2;            // its third code byte: a daemon death that reboots the board
constexpr uint8_t FILE_EXCHANGE = 0x0E;       // first code byte: a fetch from the other board failed
constexpr uint8_t WATCHDOG_START = 0x19;      // first code byte: started after a watchdog reset
constexpr uint8_t PROCESS_LIMITS = 0x1C;      // first code byte: process table and manager limits
constexpr uint8_t NETWORK_SERVICE = 0x29;     // first code byte: a service script failed
constexpr uint8_t FILE_MODE = 0x39;           // first code byte: an invalid file open mode
} // namespace recordcode

// A 16-byte error log record as stored.
InitErrorLog errorLogOf(const uint8_t* data);
// Its code bytes in hexadecimal: "09 11 02 00 8B 00".
std::string codeText(const InitErrorLog& record);
// Its time to the second, read unsigned.
uint32_t secondsOf(const InitErrorLog& record);
// The record of a daemon death the board reboots for.
bool isDeathReboot(const InitErrorLog& record);
// The record of a firmware update that was rolled back.
bool isRollBack(const InitErrorLog& record);
// The down log of NVRAM partition 0, when its identification is valid and
// a down log is recorded.
std::optional<InitErrorLog> downLogOf(const std::vector<uint8_t>& partition);

// A daemon's death as a down-info file tells it: its time (from the file's
// name) and its first line.
struct DownInfoDeath {
    uint32_t seconds = 0;
    Death death;
};
// False when the item is no down-info file, or its name or first line does
// not tell its death.
bool deathOf(const BoardItem& item, DownInfoDeath& death);

#endif
