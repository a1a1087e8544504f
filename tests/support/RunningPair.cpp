#include "RunningPair.h"

#include "BoardLogs.h"
#include "Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>

RunningPair::RunningPair() : a_({}, "-A"), b_({1, 0}, "-B")
{
    EXPECT_EQ(runSim({"pair", a_->directory(), b_->directory()}).status, 0);
    for (const TestBoard* board : {&a_, &b_})
        sim::writeFile((*board)->path("hw/timers"), "scale 20\n");
}

RunningPair::~RunningPair()
{
    for (const TestBoard* board : {&a_, &b_})
        (*board)->stopPrograms();
    for (pid_t pid : started_)
        waitpid(pid, nullptr, 0);
}

void RunningPair::start(const sim::SimBoard& board)
{
    started_.push_back(startOnBoard(board, {"mmb-startup"}, board.path("log/startup.out")));
}

bool RunningPair::boot(const sim::SimBoard& board)
{
    const std::string ready = "dualprocess request 0x80020021 data 80020021";
    size_t before = eventCount(board, ready);
    start(board);
    return waitForEvent(board, ready, before + 1);
}

bool RunningPair::halted()
{
    pid_t startup = started_.back();
    if (!waitUntil([&] { return waitpid(startup, nullptr, WNOHANG) == startup; }))
        return false;
    started_.pop_back();
    return true;
}

bool RunningPair::simOn(const std::string& verb, const sim::SimBoard& board)
{
    return runSim({verb, board.directory()}).status == 0;
}

bool RunningPair::waitForEvent(const sim::SimBoard& board, const std::string& line, size_t times)
{
    return waitUntil([&] { return eventCount(board, line) >= times; });
}

size_t RunningPair::eventCount(const sim::SimBoard& board, const std::string& line)
{
    std::vector<std::string> events = board.events();
    return static_cast<size_t>(std::count(events.begin(), events.end(), line));
}

bool RunningPair::traced(const sim::SimBoard& board, const std::string& line)
{
    std::vector<std::string> lines = traceLines(board.boardPath("/tmp/mmbinit.log"));
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string RunningPair::logsOf(const sim::SimBoard& board)
{
    std::string logs;
    for (const std::string& file : {board.path("log/startup.out"), board.boardPath("/tmp/mmbinit.log"),
                                    board.path("log/events")})
        for (const std::string& line : sim::readLines(file))
            logs += line + "\n";
    return logs;
}
