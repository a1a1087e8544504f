// Host stand-in for the board library, backed by the simulated board: the
// boot ROM bank selection is kept in the board's EEPROM image (hw/eeprom,
// byte 0), and a fault "eeprom-select ACTION DETAIL" (or "eeprom-select
// foreign") makes the call throw.
#include "MMBLib.h"

#include "BoardPaths.h"
#include "DeviceFailure.h"
#include "FaultTable.h"

#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <stdexcept>
#include <unistd.h>

namespace MMBLib {
namespace ii2c {

namespace {

constexpr off_t BOOT_BANK_OFFSET = 0;

} // namespace

MMB* MMB::getInstance(int)
{
    static MMB board;
    return &board;
}

void MMB::selectBootROM(unsigned char bank)
{
    const char* boardDir = sim::boardFromEnvironment();
    sim::Fault fault;
    if (boardDir != nullptr && sim::FaultTable::consume(boardDir, &fault, "eeprom-select")) {
        if (fault.wordCount > 1 && std::strcmp(fault.words[1], "foreign") == 0)
            throw std::runtime_error("simulated failure outside the board library");
        throw PException(static_cast<int>(fault.number(1)), static_cast<int>(fault.number(2)));
    }
    char path[PATH_MAX];
    int fd = sim::boardPath(path, sizeof path, boardDir, "%s", sim::EEPROM_FILE) ? open(path, O_WRONLY | O_CLOEXEC) : -1;
    bool stored = fd >= 0 && pwrite(fd, &bank, 1, BOOT_BANK_OFFSET) == 1;
    if (fd >= 0)
        close(fd);
    if (!stored)
        throw PException(ACTION_DEVICE, DETAIL_NO_EEPROM);
}

} // namespace ii2c
} // namespace MMBLib
