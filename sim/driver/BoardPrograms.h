// The programs running on a board: every process whose environment names
// the board (the sandbox starts each with it, and children inherit it).
// C library only: a board program stops the board from inside (a watchdog
// reset, a reboot(2) that goes through).
#ifndef SIM_BOARD_PROGRAMS_H
#define SIM_BOARD_PROGRAMS_H

#include <sys/types.h>

namespace sim {

// Kills every program of the board but the caller, and waits until they
// are gone; false when they keep coming back.
bool stopBoardPrograms(const char* board);
// The board goes down as a reset takes it: every program of the board
// stops, the caller last. Never returns.
[[noreturn]] void haltBoard(const char* board);
// A supervised daemon never outlives its supervisor: it gets SIGTERM when
// the supervisor ends, and ends at once if the supervisor is already gone.
// `supervisor` is getppid() taken first thing in main, so that a supervisor
// that ends before this call is noticed too.
void endWithSupervisor(pid_t supervisor);

} // namespace sim

#endif
