// The fixture of the library tests that run on a simulated board in the
// test process itself: the preloaded device shim reaches the board, every
// library path lands in the board's tree (MMB_DEBUG_PATH), and the local
// trace goes to the board's /tmp/trace.log, started afresh.
#ifndef TEST_IN_PROCESS_BOARD_H
#define TEST_IN_PROCESS_BOARD_H

#include "BoardLogs.h"
#include "InitLocalTrace.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class InProcessBoard : public testing::Test {
protected:
    static constexpr const char* TRACE_FILE = "/tmp/trace.log";  // under the MMB_DEBUG_PATH prefix

    void SetUp() override
    {
        board_.useInProcess();
        setenv("MMB_DEBUG_PATH", board_->boardPath("").c_str(), 1);
        InitLocalTrace::getInstance()->fileName = TRACE_FILE;
        clearTraces();
    }
    void TearDown() override
    {
        InitLocalTrace::getInstance()->fileName = nullptr;
        unsetenv("MMB_DEBUG_PATH");
    }

    std::vector<std::string> traces() const { return traceLines(board_->boardPath(TRACE_FILE)); }
    void clearTraces() const
    {
        InitLocalTrace::getInstance()->lineCount = 0;
        std::filesystem::remove(board_->boardPath(TRACE_FILE));
    }

    TestBoard board_;
};

#endif
