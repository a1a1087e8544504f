// Traces from signal handlers while the main flow traces: the library's
// SIGHUP handler (mode-change requests) traces from signal context. This
// program stands in for the board trace service client itself, so that a
// signal can arrive at an exact point of a replay.
#include "InitMMBOther.h"
#include "mmbtrace.h"

#include "TraceTesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

Lines sent;              // what reached the trace service: "<trace id> <text>"
int raiseHangupAt = -1;  // the send (counted from 0) at which SIGHUP arrives

} // namespace

extern "C" int putMmbTrace(unsigned char, const void* header, const char* text)
{
    auto bytes = static_cast<const unsigned char*>(header);
    sent.push_back(std::to_string(bytes[2] << 8 | bytes[3]) + " " + text);
    if (static_cast<int>(sent.size()) - 1 == raiseHangupAt)
        raise(SIGHUP);
    return 0;
}

namespace {

constexpr int LIVE_ID = 300;

// Sends the test program SIGHUP every 20 microseconds until it is ended.
class HangupStorm {
public:
    HangupStorm()
    {
        pid_t target = getpid();
        child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const timespec pause = {0, 20000};
            for (;;) {
                kill(target, SIGHUP);
                nanosleep(&pause, nullptr);
            }
        }
    }
    ~HangupStorm()
    {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }

private:
    pid_t child;
};

class TraceSignal : public TraceFixture {
protected:
    void SetUp() override
    {
        TraceFixture::SetUp();
        reset(LOCAL_NAME, 256);
        sent.clear();
        raiseHangupAt = -1;
        InitMMBOther::getInstance()->enableChgModeReq();
    }
    void TearDown() override { InitMMBOther::getInstance()->disableChgModeReq(); }

    static void trace(const std::string& text)
    {
        InitTraceHandler::getInstance()->output(20001, 1, text.c_str());
    }
};

// The handler's line follows the replay, live: the service gets every local
// line once.
TEST_F(TraceSignal, hangup_during_the_first_replay_waits_for_its_end)
{
    TraceService service;
    for (int i = 0; i < 4; ++i)
        trace("kept " + std::to_string(i));
    InitTraceHandler::getInstance()->traceId = LIVE_ID;
    raiseHangupAt = 2;
    trace("replayed");
    const std::string handlerLine =
        "20001 modeChange_sighandler(enable) 1 " + std::to_string(getpid()) + " : 0 0";
    Lines replayed;
    for (const std::string& line : sent)
        replayed.push_back(stamped(line));
    EXPECT_EQ(replayed, (Lines{"256 20001 kept 0(sec=*)", "256 20001 kept 1(sec=*)", "256 20001 kept 2(sec=*)",
                               "256 20001 kept 3(sec=*)", "256 20001 replayed(sec=*)", "300 " + handlerLine}));
    EXPECT_EQ(localLines(), (Lines{"DBG# 20001 kept 0(sec=*)", "DBG# 20001 kept 1(sec=*)", "DBG# 20001 kept 2(sec=*)",
                                   "DBG# 20001 kept 3(sec=*)", "DBG# 20001 replayed(sec=*)",
                                   "DBG# " + handlerLine + "(sec=*)"}));
}

// Checked with the storm held off: the file holds exactly the lines counted
// since its last truncation (all 1001 right after the count starts over),
// each one whole.
void expectFileMatchesCount(int traces)
{
    sigset_t hangup;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    sigset_t saved;
    sigprocmask(SIG_BLOCK, &hangup, &saved);
    int count = InitLocalTrace::getInstance()->lineCount;
    Lines lines = localLines();
    const std::regex whole(R"(DBG# 20001 (storm [0-9]+|modeChange_sighandler\(enable\) 1 [0-9]+ : 0 0)\(sec=\*\))");
    size_t broken = 0;
    for (const std::string& line : lines)
        broken += std::regex_match(line, whole) ? 0 : 1;
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    ASSERT_EQ(lines.size(), static_cast<size_t>(count == 0 ? 1001 : count)) << "after " << traces << " traces";
    ASSERT_EQ(broken, 0u) << "after " << traces << " traces";
}

TEST_F(TraceSignal, hangup_storm_keeps_the_local_file_whole_and_counted)
{
    HangupStorm storm;
    for (int i = 1; i <= 30000; ++i) {
        trace("storm " + std::to_string(i));
        if (i % 250 == 0) {
            ASSERT_NO_FATAL_FAILURE(expectFileMatchesCount(i));
        }
    }
}

} // namespace
