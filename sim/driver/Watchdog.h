// The board's watchdog, on board time. Register 0x610 controls it: bit 7
// (0x0080) disables it, and bit 15 (0x8000, set by the value 0x800F the
// start-up writes when "mmbipmid" dumps core) stops it. Its feeder is the
// daemon "mmbipmid", which feeds it from its start for as long as it runs;
// the fault "feeder-hang" makes the feeder hang (alive, feeding no more).
// The watchdog counts from its first feed after a boot, so a board that
// runs no feeder never expires. Whenever a board program moves the board
// clock on, the time since the last feed is checked; once it reaches the
// period, the watchdog expires: register 0x600 gets its error flag (bit 8),
// "watchdog reset" is logged and every program of the board stops, as a
// reset stops them ("mmb-sim reboot" boots the board again).
//
// State in hw/watchdog, lines "period SECONDS" (60 unless set), "fed
// SECONDS" (board time of the last feed, -1 before the first) and "feeder
// PID". C library only: it runs in every board program through the shim.
#ifndef SIM_WATCHDOG_H
#define SIM_WATCHDOG_H

namespace sim {

constexpr const char* WATCHDOG_FILE = "hw/watchdog";
constexpr long long WATCHDOG_PERIOD = 60;  // seconds of board time between feeds, at most

// Feeds the watchdog at the board's time: pid becomes its feeder. Does
// nothing on a board without a clock.
void feedWatchdog(const char* board, int pid);
// Called when board time has moved on to now: the feeder's feed counts,
// else a watchdog unfed for its period expires (and the board halts).
void checkWatchdog(const char* board, long long now);
// A boot: the watchdog waits for its first feed again.
void restartWatchdog(const char* board);

} // namespace sim

#endif
