// Device files of the board's kernel drivers and the requests they take.
// The numbers come from the Linux request macros, so they are the board's
// numbers when built for the board and the host's own numbers elsewhere.
#ifndef BOARD_DEVICES_H
#define BOARD_DEVICES_H

#include <stdint.h>
#include <sys/ioctl.h>

/// Board register device: opened for one access and closed again.
constexpr const char* CPLD_DEVICE = "/dev/cpld";
/// NVRAM partitions 0 to 3, formatted with the partition number.
constexpr const char* MRAM_DEVICE_FORMAT = "/dev/mram%d";
constexpr int MRAM_PARTITIONS = 4;

/// Argument of CPLD_READ and CPLD_WRITE. Kernel ABI: native byte order.
struct CpldRequest {
    uint32_t reg;        ///< register number
    uint16_t value;      ///< filled by the driver on a read, by the caller on a write
    uint8_t padding[2];  ///< not used
};
static_assert(sizeof(CpldRequest) == 8, "the CPLD driver takes an 8-byte record");

constexpr unsigned long CPLD_READ = _IOR('c', 1, CpldRequest);
constexpr unsigned long CPLD_WRITE = _IOW('c', 2, CpldRequest);
/// NVRAM requests take no argument (0 is passed).
constexpr unsigned long MRAM_INITIALIZE = _IO('p', 0x40);        ///< clear the partition
constexpr unsigned long MRAM_GENERATE_CHECKSUM = _IO('p', 0x41); ///< recompute and store its checksum

#if defined(__powerpc__) && !defined(__powerpc64__)
static_assert(CPLD_READ == 0x40086301UL, "CPLD read request as the board numbers it");
static_assert(CPLD_WRITE == 0x80086302UL, "CPLD write request as the board numbers it");
static_assert(MRAM_INITIALIZE == 0x20007040UL, "NVRAM initialise request as the board numbers it");
static_assert(MRAM_GENERATE_CHECKSUM == 0x20007041UL, "NVRAM checksum request as the board numbers it");
#endif

#endif
