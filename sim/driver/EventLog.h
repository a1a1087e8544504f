// The board's event log: one line per simulated tool call or power loss.
#ifndef SIM_EVENT_LOG_H
#define SIM_EVENT_LOG_H

namespace sim {

// Appends one formatted line (a newline is added) to the board's event log.
void logEvent(const char* board, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace sim

#endif
