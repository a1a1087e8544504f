// A fresh simulated board for one test, in the build tree (boards must not
// lie under the folders a board's own tree replaces, such as /tmp).
#ifndef TEST_TEST_BOARD_H
#define TEST_TEST_BOARD_H

#include "SimBoard.h"

#include <string>

class TestBoard {
public:
    // Named after the running test; an earlier board of that name is removed.
    explicit TestBoard(const sim::SimBoard::Options& options = {}, const std::string& suffix = "");
    // Stops every program still running on the board, whatever the test's
    // outcome: a daemon a test started must not outlive it.
    ~TestBoard();
    TestBoard(const TestBoard&) = delete;
    TestBoard& operator=(const TestBoard&) = delete;

    const sim::SimBoard& operator*() const { return board_; }
    const sim::SimBoard* operator->() const { return &board_; }

    // Points the device shim loaded into this process at this board.
    void useInProcess() const;

private:
    sim::SimBoard board_;
};

#endif
