// Two simulated boards paired, A (MMB 0) Active and B (MMB 1) Standby, on
// which a test runs the reference start-up program. Their monitoring passes
// run 20 times faster than a board's: a daemon's death is seen in 6 seconds
// rather than 120.
#ifndef TEST_RUNNING_PAIR_H
#define TEST_RUNNING_PAIR_H

#include "TestBoard.h"

#include <string>
#include <sys/types.h>
#include <vector>

class RunningPair {
public:
    RunningPair();
    // Stops both boards' programs and reaps the start-up programs.
    ~RunningPair();

    const sim::SimBoard& a() const { return *a_; }
    const sim::SimBoard& b() const { return *b_; }

    // Starts the start-up program.
    void start(const sim::SimBoard& board);
    // Starts the start-up program and waits until it has reported ready.
    bool boot(const sim::SimBoard& board);
    // Waits until the start-up program started last has ended, as after a reset.
    bool halted();
    // "mmb-sim VERB BOARD" (power-cycle, reboot) succeeded.
    static bool simOn(const std::string& verb, const sim::SimBoard& board);
    // Waits until the board's event log holds the line `times` times.
    static bool waitForEvent(const sim::SimBoard& board, const std::string& line, size_t times = 1);
    static size_t eventCount(const sim::SimBoard& board, const std::string& line);
    // The start-up trace file holds the line (without its time).
    static bool traced(const sim::SimBoard& board, const std::string& line);
    // The board's start-up output, traces and events, for a failure message.
    static std::string logsOf(const sim::SimBoard& board);

private:
    TestBoard a_;
    TestBoard b_;
    std::vector<pid_t> started_;
};

#endif
