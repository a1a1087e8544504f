// A supervisor takes a daemon's start time from the board clock right
// after forking it. A simulated daemon that moves board time at once (by
// sleeping its lifetime) must not do so before that reading, or its age is
// measured from the wrong side of its sleep. The device shim marks both
// ends of the fork; the daemon waits for the mark, not for a lucky time.
#ifndef SIM_START_TIMING_H
#define SIM_START_TIMING_H

#include <sys/types.h>

namespace sim {

// Board folder of the marks: "<pid>.forked" made by the child of a fork on
// a board with a clock, "<pid>" by its parent at its first clock reading
// after the fork. Emptied at every boot.
constexpr const char* STARTED_DIR = "started";

// In the child of a fork.
void markForked(const char* board);
// In the parent, at its first board clock reading after forking child.
void markStartTimed(const char* board, pid_t child);
// Returns once the parent has read the board clock after forking this
// process; at once when it was not forked so on a board with a clock.
void awaitStartTimed(const char* board);

} // namespace sim

#endif
