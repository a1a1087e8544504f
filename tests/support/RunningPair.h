// Two simulated boards as a pair, A (MMB 0) Active and B (MMB 1) Standby,
// each with its process tables and daemons, on which a test runs the
// reference start-up program. Their heartbeat is quick (a peer is lost
// after 5 unanswered beats 100 ms apart) and their monitoring passes 20
// times faster than on a board.
#ifndef TEST_RUNNING_PAIR_H
#define TEST_RUNNING_PAIR_H

#include "TestBoard.h"

#include <string>
#include <sys/types.h>
#include <vector>

class RunningPair {
public:
    // Boards named after the running test.
    RunningPair();
    // Stops both boards' programs and reaps the start-up programs.
    ~RunningPair();
    RunningPair(const RunningPair&) = delete;
    RunningPair& operator=(const RunningPair&) = delete;

    const sim::SimBoard& a() const { return *a_; }
    const sim::SimBoard& b() const { return *b_; }

    // Starts the start-up program on the board.
    void start(const sim::SimBoard& board);
    // Starts it and waits until it has reported ready; false after the time-out.
    bool boot(const sim::SimBoard& board);
    // "mmb-sim VERB BOARD": power-cycle, reboot, stop; false when it failed.
    static bool simOn(const std::string& verb, const sim::SimBoard& board);

    // Waits until the board's event log holds the line `times` times.
    static bool waitForEvent(const sim::SimBoard& board, const std::string& line, size_t times = 1);
    static size_t eventCount(const sim::SimBoard& board, const std::string& line);
    // True when the board's start-up trace file holds the line (without its time).
    static bool traced(const sim::SimBoard& board, const std::string& line);
    // The board's start-up output and traces, for a failure message.
    static std::string logsOf(const sim::SimBoard& board);

private:
    TestBoard a_;
    TestBoard b_;
    std::vector<pid_t> started_;
};

#endif
