// A pair that fails over: the Standby's dualprocess hears the Active
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
const std::string A_STANDBY = "MMBID=0\nMMBMODE=S\n";
const std::string B_ACTIVE = "MMBID=1\nMMBMODE=A\n";

std::string mmbid(const sim::SimBoard& board)
{
    return sim::readFile(board.boardPath("/etc/sysconfig/mmbid"));
}

// The board's dualprocess and heartbeat events from `first` on, but for the
// peer answering, which is logged whenever it comes.
std::vector<std::string> changeEventsFrom(const sim::SimBoard& board, const std::string& first)
{
    std::vector<std::string> events;
    for (const std::string& event : board.events())
        if ((event.rfind("dualprocess", 0) == 0 || event.rfind("heartbeat", 0) == 0) && event != PEER_UP)
            events.push_back(event);
    return {std::find(events.begin(), events.end(), first), events.end()};
}

// The heartbeat loses a peer after 5 unanswered beats 100 ms apart.
class Failover : public testing::Test {
protected:
    Failover()
    {
        for (const sim::SimBoard* board : {&a(), &b()}) {
            board->setDualSetting("heartbeat-ms", "100");
            board->setDualSetting("missed-beats", "5");
        }
    }

    // A Active and B Standby, both up, B hearing A.
    void bootPair()
    {
        ASSERT_TRUE(pair_.boot(a()) && pair_.boot(b()) && RunningPair::waitForEvent(b(), PEER_UP));
    }

    // A loses its power; B takes over.
    void failOver()
    {
        ASSERT_TRUE(RunningPair::simOn("power-cycle", a()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), CHANGE_COMPLETE)) << RunningPair::logsOf(b());
    }

    // Kills a dualprocess past the 300 seconds of life that allow a restart.
    static pid_t killOldDualprocess(const sim::SimBoard& board)
    {
        pid_t old = daemonPid(board, "dualprocess");
        board.setClock(2000, 0, 1000);
        kill(old, SIGKILL);
        return old;
    }

    const sim::SimBoard& a() const { return pair_.a(); }
    const sim::SimBoard& b() const { return pair_.b(); }

    RunningPair pair_;
};

TEST_F(Failover, standby_takes_over_when_the_active_board_loses_power)
{
    bootPair();
    failOver();
    EXPECT_EQ(changeEventsFrom(b(), "heartbeat peer lost"),
              (std::vector<std::string>{"heartbeat peer lost", "dualprocess take over", "dualprocess hangup request",
                                        CHANGE_START, "dualprocess hangup switch", CHANGE_COMPLETE}));
    for (const char* call : {"/etc/init.d/lighttpd start &", "/etc/init.d/postfix start &"})  // Active-only
        EXPECT_TRUE(waitUntil([&] {  // a script in the background logs its call late
            std::vector<std::string> calls = sim::readLines(b().path("log/init.d"));
            return std::count(calls.begin(), calls.end(), call) == 1;
        })) << call;
    EXPECT_EQ(mmbid(b()), B_ACTIVE);
    EXPECT_EQ(a().dualSetting("active"), "0x00000000");
}

// Supervision restarts the Standby's dualprocess; the new one's requests count.
TEST_F(Failover, a_restarted_dualprocess_still_carries_the_failover)
{
    b().setClock(1000, 0, 1000);
    bootPair();
    pid_t old = killOldDualprocess(b());
    ASSERT_TRUE(RunningPair::waitForEvent(b(), PEER_UP, 2));  // the new one hears A
    std::string pid = std::to_string(daemonPid(b(), "dualprocess"));
    ASSERT_NE(pid, std::to_string(old));

    failOver();
    EXPECT_TRUE(RunningPair::traced(b(), "DBG# 20001 modeChange_sighandler(enable) 1 " + pid + " : " + pid + " 1"));
    EXPECT_EQ(mmbid(b()), B_ACTIVE);
}

// A's start-up program, stopped, stays Active while B takes over; the
// dualprocess that supervision restarts once it runs again makes it leave
// Active: two boards that hear each other are never both Active.
TEST_F(Failover, an_active_board_whose_peer_took_over_meanwhile_leaves_active)
{
    a().setClock(1000, 0, 1000);
    bootPair();
    pid_t startup = 0;
    std::ifstream stat("/proc/" + std::to_string(daemonPid(a(), "dualprocess")) + "/stat");
    std::string skip;
    stat >> skip >> skip >> skip >> startup;  // pid, (name), state, parent
    kill(startup, SIGSTOP);
    killOldDualprocess(a());
    ASSERT_TRUE(RunningPair::waitForEvent(b(), CHANGE_COMPLETE)) << RunningPair::logsOf(b());
    kill(startup, SIGCONT);

    ASSERT_TRUE(RunningPair::waitForEvent(a(), CHANGE_COMPLETE)) << RunningPair::logsOf(a());
    EXPECT_EQ(changeEventsFrom(a(), "dualprocess leave active"),
              (std::vector<std::string>{"dualprocess leave active", "dualprocess hangup request",
                                        "dualprocess hangup switch", CHANGE_COMPLETE}));
    EXPECT_EQ(mmbid(a()), A_STANDBY);
    EXPECT_EQ(mmbid(b()), B_ACTIVE);
}

// The lost board comes back Standby, however often it reboots. Each reboot
// lasts long enough for B to lose A (a quicker one goes unseen).
TEST_F(Failover, the_lost_board_comes_back_standby_and_never_takes_the_role_back)
{
    bootPair();
    failOver();
    for (size_t boot = 1; boot <= 3; ++boot) {
        ASSERT_TRUE(pair_.boot(a()) && RunningPair::waitForEvent(b(), PEER_UP, 1 + boot));
        EXPECT_TRUE(RunningPair::traced(a(), "RUN# 20002 Decision of MMB mode(00000000 Standby:Duplicate) error(0)"));
        EXPECT_EQ(mmbid(a()), A_STANDBY) << boot;
        ASSERT_TRUE(RunningPair::simOn("reboot", a()));
        ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat peer lost", 1 + boot));
    }
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess take over"), 1u);
}

// Powered on together, the boards take the roles libdual reports. B, up
// first, hears nobody for many beats (one would lose a peer heard), and a
// peer never heard is never lost.
TEST_F(Failover, boards_powered_on_together_take_the_roles_libdual_reports)
{
    b().setDualSetting("missed-beats", "1");
    bootPair();
    ASSERT_TRUE(RunningPair::simOn("power-cycle", b()));  // the Standby first: A has no role to take
    ASSERT_TRUE(RunningPair::simOn("power-cycle", a()));
    ASSERT_TRUE(pair_.boot(b()) && pair_.boot(a()) && RunningPair::waitForEvent(b(), PEER_UP, 2));
    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=A\n");
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess take over"), 0u);
}

// With the link cut, B hears nothing but does not take over: A, powered
// off and on meanwhile, comes back Active.
TEST_F(Failover, a_standby_cut_off_from_its_peer_keeps_its_role)
{
    b().setDualSetting("missed-beats", "1");
    bootPair();
    b().addFault("peer-link");
    ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat link down"));
    ASSERT_TRUE(RunningPair::simOn("power-cycle", a()) && pair_.boot(a()));
    b().clearFaults();
    ASSERT_TRUE(RunningPair::waitForEvent(b(), "heartbeat link up") && RunningPair::waitForEvent(b(), PEER_UP, 2));
    EXPECT_EQ(mmbid(a()), "MMBID=0\nMMBMODE=A\n");
    EXPECT_EQ(RunningPair::eventCount(b(), "dualprocess take over"), 0u);
}

} // namespace
