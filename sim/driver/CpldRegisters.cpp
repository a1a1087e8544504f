#include "CpldRegisters.h"

#include "BoardPaths.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

namespace sim {

int CpldRegisters::read(int fd, uint32_t reg, uint16_t& value)
{
    if (reg >= COUNT)
        return EINVAL;
    unsigned char word[2];
    ssize_t got = pread(fd, word, sizeof word, static_cast<off_t>(reg) * 2);
    if (got != static_cast<ssize_t>(sizeof word))
        return got < 0 ? errno : EIO;
    value = static_cast<uint16_t>(word[0] << 8 | word[1]);
    return 0;
}

int CpldRegisters::write(int fd, uint32_t reg, uint16_t value)
{
    if (reg >= COUNT)
        return EINVAL;
    unsigned char word[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    ssize_t put = pwrite(fd, word, sizeof word, static_cast<off_t>(reg) * 2);
    if (put != static_cast<ssize_t>(sizeof word))
        return put < 0 ? errno : EIO;
    return 0;
}

void CpldRegisters::logWrite(const char* board, uint32_t reg, uint16_t value)
{
    int fd = openBoardFile(board, CPLD_WRITE_LOG, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return;
    char line[32];
    int length = snprintf(line, sizeof line, "0x%04x 0x%04x\n", static_cast<unsigned>(reg), value);
    // One append per line keeps lines whole when several processes write.
    if (::write(fd, line, static_cast<size_t>(length)) < 0)
        perror("mmb-sim: cpld write log");
    close(fd);
}

} // namespace sim
