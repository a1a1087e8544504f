// The fault language of the simulator's front, checked and brought into the
// canonical form that the emulated drivers match against:
//
//   missing DEVICE                       opening /dev/DEVICE fails with ENOENT
//   open DEVICE ERRNO                    opening /dev/DEVICE fails with ERRNO
//   cpld-read REG ERRNO                  reading register REG fails
//   cpld-write REG ERRNO                 writing register REG fails
//   mram-request PART init|checksum ERRNO  the NVRAM request fails
//   mram-cut PART BYTES                  the next write (the N-th with "after N") keeps BYTES bytes,
//                                        then the power goes; with BYTES at least the write's
//                                        length, the write completes first (a cut between writes)
//   mram-change PART OFFSET HEX          at the next open another program writes HEX at OFFSET
//   tool NAME STATUS                     the simulated tool NAME exits with STATUS
//   script NAME VERB STATUS              the init script NAME called with VERB exits with STATUS
//   readonly DEVICE                      the simulated mount attaches sda1|sda2|mtdblock0|mtdblock1 read-only
//   ipc-connect, ipc-send                the board library's IPC connection or request throws
//   i2c-init                             at a boot the I2C initialisation does not complete
//   eeprom-select ACTION DETAIL          the board library's bank selection throws PException
//   eeprom-select foreign                it throws an exception of another type
//
// each optionally followed by "after N" (fire at the N-th matching event)
// and "times M" (fire M times; mram-cut and mram-change fire once).
#ifndef SIM_FAULT_SPEC_H
#define SIM_FAULT_SPEC_H

#include <string>

namespace sim {

class FaultSpec {
public:
    // Throws std::invalid_argument with a message for the user.
    static std::string canonical(const std::string& spec);
    // errno from a number or a name such as "EIO"; throws std::invalid_argument.
    static int errnoValue(const std::string& text);
};

} // namespace sim

#endif
