// Board time, when the board has its own clock (hw/clock): it moves only
// when a board program reads it (by its step) or sleeps (by the time
// slept, at once). Actions can be scheduled at a board time (hw/timeline,
// lines "SECONDS copy SOURCE DESTINATION" or "SECONDS signal NUMBER"); they
// happen while a board program sleeps past that time.
#ifndef SIM_BOARD_TIME_H
#define SIM_BOARD_TIME_H

namespace sim {

constexpr const char* TIMELINE_FILE = "hw/timeline";

// Reads the board clock and moves it on by its step; false without a clock.
bool readBoardClock(const char* board, long long& seconds, long long& micros);
// The board clock's seconds, or -1 when the board has no clock.
long long boardSeconds(const char* board);
// Schedules an action line ("copy SRC DST", "signal N") at a board time.
bool scheduleAt(const char* board, long long seconds, const char* action);
// Sleeps on board time; -1 when the board has no clock (sleep for real),
// else the seconds left unslept because a scheduled signal interrupted it.
int sleepOnBoard(const char* board, unsigned seconds);

} // namespace sim

#endif
