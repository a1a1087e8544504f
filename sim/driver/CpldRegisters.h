// The simulated board registers: a file of 16-bit big-endian words, one per
// register number, so the same board reads the same on any host.
#ifndef SIM_CPLD_REGISTERS_H
#define SIM_CPLD_REGISTERS_H

#include <stdint.h>

namespace sim {

class CpldRegisters {
public:
    static constexpr uint32_t COUNT = 0x1000;  // registers 0x000 to 0xFFF exist

    // Both return 0 or an errno value (EINVAL for a register that does not exist).
    static int read(int fd, uint32_t reg, uint16_t& value);
    static int write(int fd, uint32_t reg, uint16_t value);

    // Appends "0x%04x 0x%04x" (register, value) to the board's write log.
    static void logWrite(const char* board, uint32_t reg, uint16_t value);
};

} // namespace sim

#endif
