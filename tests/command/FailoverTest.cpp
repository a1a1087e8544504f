// A pair that fails over: the Standby board's dualprocess hears the Active
// board's heartbeat stop and makes its board Active through the mode-change
// sequence; the lost board comes back Standby.
#include "BoardLogs.h"
#include "Process.h"
#include "RunningPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>

namespace {

const std::string CHANGE_START = "dualprocess request 0x80020031 data 80020031";
const std::string CHANGE_COMPLETE = "dualprocess request 0x80020041 data 80020041";
const std::string PEER_UP = "heartbeat peer up";
const std::string ACTIVE_MODE = "MMBID=1\nMMBMODE=A\n";

// The board's dualprocess and heartbeat events from the first `first` on,
// but for the peer answering, which is logged whenever it comes.
std::vector<std::string> dualprocessEventsFrom(const sim::SimBoard& board, const std::string& first)
{
    std::vector<std::string> events;
    for (const std::string& event : board.events())
        if ((event.rfind("dualprocess", 0) == 0 || event.rfind("heartbeat", 0) == 0) && event != PEER_UP)
            events.push_back(event);
    auto from = std::find(events.begin(), events.end(), first);
    return {from, events.end()};
}

// Waits until the board's init scripts have logged the call: one run in
// the background may log it after the start-up program went on.
bool serviceCalled(const sim::SimBoard& board, const std::string& call)
{
    return waitUntil([&] {
        std::vector<std::string> calls = sim::readLines(board.path("log/init.d"));
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    });
}

std::string mmbid(const sim::SimBoard& board)
{
    return sim::readFile(board.boardPath("/etc/sysconfig/mmbid"));
}

pid_t dualprocessPid(const sim::SimBoard& board)
{
    return pidFromFile(board.boardPath("/var/run/dualprocess.pid"));
}

// The parent of a process: the start-up program that supervises a daemon.
pid_t parentOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string skip;
    pid_t parent = 0;
    stat >> skip >> skip >> skip >> parent;  // pid, (name), state, ppid: no blank in a daemon's name
    return parent;
}

class Failover : public testing::Test {
protected:
    // A Active and B Standby, both up, B hearing A.
    void bootPair()
    {
        ASSERT_TRUE(pair_.boot(a()));
        ASSERT_TRUE(pair_.boot(b()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP));
    }

    // A loses its power; B takes over.
    void failOver()
    {
        ASSERT_TRUE(RunningPair::simOn("power-cycle", a()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), CHANGE_COMPLETE)) << RunningPair::logsOf(b());
    }

    // The daemon has lived past the 300 seconds that allow a restart.
    static void killOldDualprocess(const sim::SimBoard& board)
    {
        board.setClock(2000, 0, 1000);
        kill(dualprocessPid(board), SIGKILL);
    }

    // Waits until supervision has restarted the board's dualprocess and it heard its peer.
    static void waitForRestartedDualprocess(const sim::SimBoard& board, pid_t old)
    {
        ASSERT_TRUE(waitUntil([&] {
            pid_t now = dualprocessPid(board);
            return now != 0 && now != old && RunningPair::traced(board, "DBG# 20002 Restart Daemon");
        })) << RunningPair::logsOf(board);
        ASSERT_TRUE(RunningPair::waitForEvent(board, PEER_UP, 2));
    }

    const sim::SimBoard& a() const { return pair_.a(); }
    const sim::SimBoard& b() const { return pair_.b(); }

    RunningPair pair_;
};

TEST_F(Failover, standby_takes_over_when_the_active_board_loses_power)
{
    bootPair();
    failOver();

    EXPECT_EQ(dualprocessEventsFrom(b(), "heartbeat peer lost"),
              (std::vector<std::string>{"heartbeat peer lost", "dualprocess take over", "dualprocess hangup request",
                                        CHANGE_START, "dualprocess hangup switch", CHANGE_COMPLETE}));
    EXPECT_TRUE(RunningPair::traced(b(), "RUN# 20001 changing MMB Mode from Standby to Active"));
    EXPECT_TRUE(RunningPair::traced(b(), "DBG# 20001 send response of change-start to dualprocess (" +
                                              std::to_string(dualprocessPid(b())) + ")"));
    // The Active-only services started, with the board's new mode.
    for (const char* call : {"/etc/init.d/lighttpd start &", "/etc/init.d/postfix start &"})
        EXPECT_TRUE(serviceCalled(b(), call)) << call;
    EXPECT_EQ(mmbid(b()), ACTIVE_MODE);
    EXPECT_EQ(b().dualSetting("active"), "0x40000000");
    EXPECT_EQ(a().dualSetting("active"), "0x00000000");
}

TEST_F(Failover, the_lost_board_comes_back_standby)
{
    bootPair();
    failOver();
    ASSERT_TRUE(pair_.boot(a()));
    ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP, 2));

    EXPECT_TRUE(RunningPair::traced(a(), "RUN# 20002 Decision of MMB mode(00000000 Standby:Duplicate) error(0)"));
    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=S\n");
    EXPECT_EQ(mmbid(b()), ACTIVE_MODE);
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess hangup request"), 1u);
}

// Supervision restarts the Standby's dualprocess; the new one's requests count.
TEST_F(Failover, a_restarted_dualprocess_still_carries_the_failover)
{
    b().setClock(1000, 0, 1000);
    bootPair();
    pid_t old = dualprocessPid(b());
    killOldDualprocess(b());
    waitForRestartedDualprocess(b(), old);
    pid_t restarted = dualprocessPid(b());

    failOver();
    std::string pid = std::to_string(restarted);
    EXPECT_TRUE(RunningPair::traced(b(), "DBG# 20001 modeChange_sighandler(enable) 1 " + pid + " : " + pid + " 1"));
    EXPECT_EQ(mmbid(b()), ACTIVE_MODE);
}

// A's start-up program keeps running Active while its dualprocess is gone
// long enough for B to take over; the dualprocess supervision restarts
// makes A leave Active: never two Active boards once they hear each other.
TEST_F(Failover, an_active_board_whose_peer_took_over_meanwhile_leaves_active)
{
    a().setClock(1000, 0, 1000);
    bootPair();
    pid_t old = dualprocessPid(a());
    pid_t startup = parentOf(old);
    kill(startup, SIGSTOP);
    killOldDualprocess(a());
    ASSERT_TRUE(RunningPair::waitForEvent(b(), CHANGE_COMPLETE)) << RunningPair::logsOf(b());
    kill(startup, SIGCONT);

    ASSERT_TRUE(RunningPair::waitForEvent(a(), CHANGE_COMPLETE)) << RunningPair::logsOf(a());
    EXPECT_EQ(dualprocessEventsFrom(a(), "dualprocess leave active"),
              (std::vector<std::string>{"dualprocess leave active", "dualprocess hangup request",
                                        "dualprocess hangup switch", CHANGE_COMPLETE}));
    EXPECT_TRUE(RunningPair::traced(a(), "RUN# 20001 changing MMB Mode from Active to Standby "));
    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=S\n");
    EXPECT_EQ(mmbid(b()), ACTIVE_MODE);
}

// Each reboot lasts long enough for B to lose A (a quicker one goes unseen).
TEST_F(Failover, a_board_rebooting_in_a_loop_never_takes_the_role_back)
{
    bootPair();
    failOver();
    for (size_t boot = 1; boot <= 3; ++boot) {
        ASSERT_TRUE(pair_.boot(a()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP, 1 + boot));
        EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=S\n") << boot;
        ASSERT_TRUE(RunningPair::simOn("reboot", a()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat peer lost", 1 + boot));
    }
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess hangup request"), 1u);
    EXPECT_EQ(mmbid(b()), ACTIVE_MODE);
}

// Powered on together, the boards take the roles libdual reports. The
// Standby, up first, hears nobody for many beats (one would be enough to
// lose a peer heard), and a peer never heard is never lost.
TEST_F(Failover, boards_powered_on_together_take_the_roles_libdual_reports)
{
    b().setDualSetting("missed-beats", "1");
    bootPair();
    ASSERT_TRUE(RunningPair::simOn("power-cycle", b()));  // the Standby first: A has no role to take
    ASSERT_TRUE(RunningPair::simOn("power-cycle", a()));
    ASSERT_TRUE(pair_.boot(b()));
    ASSERT_TRUE(pair_.boot(a()));
    ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP, 2));

    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=A\n");
    EXPECT_EQ(mmbid(b()), "MMBID=1\nMMBMODE=S\n");
    for (const sim::SimBoard* board : {&a(), &b()})
        EXPECT_EQ(RunningPair::eventCount(*board, "dualprocess take over"), 0u) << board->directory();
}

// With the link cut, B hears nothing but does not take over: A, powered
// off and on meanwhile, comes back Active, and both keep their roles once
// the link is back.
TEST_F(Failover, a_standby_cut_off_from_its_peer_keeps_its_role)
{
    b().setDualSetting("missed-beats", "1");
    bootPair();
    ASSERT_EQ(runSim({"fault", b().directory(), "peer-link"}).status, 0);
    ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat link down"));
    ASSERT_TRUE(RunningPair::simOn("power-cycle", a()));
    ASSERT_TRUE(pair_.boot(a()));
    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=A\n");

    ASSERT_EQ(runSim({"fault", b().directory(), "clear"}).status, 0);
    ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat link up"));
    ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP, 2));
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess take over"), 0u);
    EXPECT_EQ(mmbid(b()), "MMBID=1\nMMBMODE=S\n");
}

} // namespace
