// What the host stand-ins of the board library throw when a board device
// does not answer: the action and detail codes of its PException.
#pragma once

namespace MMBLib {
namespace ii2c {

constexpr int ACTION_DEVICE = 1;
constexpr int DETAIL_NO_EEPROM = 1;
constexpr int DETAIL_NO_RESPONSE = 2;

} // namespace ii2c
} // namespace MMBLib
