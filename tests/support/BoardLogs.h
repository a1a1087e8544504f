// Reading what a board program left behind: its local trace file and the
// board's event log.
#ifndef TEST_BOARD_LOGS_H
#define TEST_BOARD_LOGS_H

#include "SimBoard.h"

#include <string>
#include <sys/types.h>
#include <vector>

// Lines of a local trace file (host path), without their "(sec=N)" suffix.
std::vector<std::string> traceLines(const std::string& file);

// Event log lines that begin with prefix.
std::vector<std::string> eventsStartingWith(const sim::SimBoard& board, const std::string& prefix);

// The pid a program keeps in a pid file (host path); 0 when there is none.
pid_t pidFromFile(const std::string& path);

#endif
