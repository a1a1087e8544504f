/// @file
/// Board register requests on /dev/cpld (the record is the driver's).
#ifndef CPLD_ACCESS_H
#define CPLD_ACCESS_H

#include <cstdint>

/// One request on an open descriptor; the ioctl result (0 on success).
int cpldRead(int fd, uint32_t reg, uint16_t& value);
/// Writes one register through the open /dev/cpld fd.
/// @return the request's result: 0, or -1 with errno.
int cpldWrite(int fd, uint32_t reg, uint16_t value);

/// Opens /dev/cpld read-only, reads one register and closes it; false on
/// any failure, leaving value alone.
bool readCpldRegister(uint32_t reg, uint16_t& value);

#endif
