#include "CpldAccess.h"

#include "board_devices.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int cpldRead(int fd, uint32_t reg, uint16_t& value)
{
    CpldRequest request = {reg, 0, {0, 0}};
    int result = ioctl(fd, CPLD_READ, &request);
    if (result == 0)
        value = request.value;
    return result;
}

int cpldWrite(int fd, uint32_t reg, uint16_t value)
{
    CpldRequest request = {reg, value, {0, 0}};
    return ioctl(fd, CPLD_WRITE, &request);
}

bool readCpldRegister(uint32_t reg, uint16_t& value)
{
    int fd = open(CPLD_DEVICE, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = cpldRead(fd, reg, value) == 0;
    close(fd);
    return ok;
}
