// Runs a program and collects its status and output.
#ifndef TEST_PROCESS_H
#define TEST_PROCESS_H

#include "SimBoard.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProcessResult {
    int status;       // exit status, or 128 + signal number
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs argv[0] (searched in PATH) with the given arguments.
ProcessResult runProgram(const std::vector<std::string>& argv);

// Runs mmb-sim of this build with the given arguments.
ProcessResult runSim(const std::vector<std::string>& args);

// Runs a command on a board through "mmb-sim run".
ProcessResult runOnBoard(const sim::SimBoard& board, const std::vector<std::string>& command);

// Runs a shell command line on a board; as user (a local user of the
// board, by name) when one is given.
ProcessResult shellOnBoard(const sim::SimBoard& board, const std::string& script, const std::string& user = "");

// Starts a command on a board through "mmb-sim run" and returns at once
// with its pid, for the caller to reap. Its output goes to outputFile.
pid_t startOnBoard(const sim::SimBoard& board, const std::vector<std::string>& command,
                   const std::string& outputFile, const std::string& user = "");

// Polls until the condition holds; false after the time-out (generous:
// the board build runs every program under emulation).
bool waitUntil(const std::function<bool()>& condition);

#endif
