/// @file
/// The board (CPLD) registers the system uses, and their bits. Values are
/// 16 bits; bit 0 is the least significant.
#ifndef BOARD_REGISTERS_H
#define BOARD_REGISTERS_H

#include <cstdint>

namespace reg {

constexpr uint32_t CPLD_MODE = 0x70;       ///< bits 0-1: mode 1 or 2
constexpr uint32_t MMB_NUMBER = 0x72;      ///< bit 8: this board's MMB number
constexpr uint32_t BOARD_VERSION = 0x76;   ///< bits 4-11: board (CPLD) version
constexpr uint32_t RESET_TYPE = 0x600;     ///< MMB reset type register
constexpr uint32_t WDT_CONTROL = 0x610;    ///< watchdog control word

/// Bits and shifts of the registers above.
///@{
constexpr uint16_t CPLD_MODE_MASK = 0x0003;
constexpr uint16_t MMB_NUMBER_BIT = 0x0100;
constexpr int MMB_NUMBER_SHIFT = 8;
constexpr int BOARD_VERSION_SHIFT = 4;
///@}
constexpr uint16_t POWER_ON_FLAG = 0x0080;   ///< reset type: set after a power-on
constexpr uint16_t WDT_ERROR_FLAG = 0x0100;  ///< reset type: the watchdog fired
constexpr uint16_t BANK1_IN_USE = 0x2000;    ///< reset type: started from boot ROM bank 1

} // namespace reg

#endif
