// Reading what a board program left behind: its local trace file, the
// board's event log and error log records.
#ifndef TEST_BOARD_LOGS_H
#define TEST_BOARD_LOGS_H

#include "SimBoard.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// Lines of a local trace file (host path), without their "(sec=N)" suffix.
std::vector<std::string> traceLines(const std::string& file);

// The trace lines of the step programs (/tmp/trace.log on the board).
std::vector<std::string> stepTraces(const sim::SimBoard& board);

// Event log lines that begin with prefix.
std::vector<std::string> eventsStartingWith(const sim::SimBoard& board, const std::string& prefix);

// An error log record on a board: its file's name (the record's time
// stamp) and its bytes.
struct ErrorLogFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The board's error log records, oldest first.
std::vector<ErrorLogFile> errorLogFiles(const sim::SimBoard& board);

// The code bytes (8..15) of each error log record, oldest first.
std::vector<std::vector<uint8_t>> errorLogCodes(const sim::SimBoard& board);

// The pid a program keeps in a pid file (host path); 0 when there is none.
pid_t pidFromFile(const std::string& path);

// The pid a daemon keeps in /var/run/NAME.pid on the board; 0 when there is none.
pid_t daemonPid(const sim::SimBoard& board, const std::string& name);

#endif
