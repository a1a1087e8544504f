// Simulated board state kept as "key value" lines in a small text file
// (hw/dual: the redundancy status and the link to the other board).
#ifndef SIM_SETTINGS_FILE_H
#define SIM_SETTINGS_FILE_H

#include <stddef.h>

namespace sim {

constexpr const char* DUAL_FILE = "hw/dual";
constexpr const char* TIMER_FILE = "hw/timers";  // "scale N": interval timers run N times faster

// The value of key in the board's file, or false when absent.
bool getSetting(const char* board, const char* file, const char* key, char* value, size_t size);
// A number (strtol base 0), or fallback when absent.
long getNumberSetting(const char* board, const char* file, const char* key, long fallback);
// Replaces or adds key; false when the file cannot be written.
bool putSetting(const char* board, const char* file, const char* key, const char* value);

} // namespace sim

#endif
