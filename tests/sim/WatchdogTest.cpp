// The simulated watchdog: fed by "mmbipmid" from its start for as long as
// it runs, checked whenever a board program moves board time on, expiring
// after 60 unfed seconds with a reset: the error flag of register 0x600,
// "watchdog reset" in the event log and every program of the board gone.
#include "BoardLogs.h"
#include "Process.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>

namespace {

constexpr int KILLED = 128 + SIGKILL;

struct Case {
    const char* what;
    const char* feeder;    // hw/daemons/mmbipmid; null: no feeder started
    const char* fault;     // armed once the feeder runs; null: none
    uint16_t control;      // register 0x610
    unsigned unfed;        // board seconds that mmbmond then sleeps
    bool expires;
};

// A board with a clock and the start-up daemons; the feeder (when started)
// has fed the watchdog once it has logged its start.
class Watchdog : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(runSim({"daemons", board_->directory()}).status, 0);
        board_->setClock(1000, 0, 0);
    }
    void TearDown() override
    {
        board_->stopPrograms();
        if (feeder_ > 0)
            waitpid(feeder_, nullptr, 0);
    }

    void startFeeder(const std::string& behaviour)
    {
        sim::writeFile(board_->path("hw/daemons/mmbipmid"), behaviour + "\n");
        size_t started = eventsStartingWith(*board_, "daemon mmbipmid").size();
        feeder_ = startOnBoard(*board_, {"/opt/mmb/bin/mmbipmid"}, board_->path("log/feeder.out"));
        ASSERT_TRUE(waitUntil([&] { return eventsStartingWith(*board_, "daemon mmbipmid").size() > started; }));
    }

    // mmbmond passes the board time, then exits; its run's status.
    int passTime(unsigned seconds)
    {
        sim::writeFile(board_->path("hw/daemons/mmbmond"), "live " + std::to_string(seconds) + " exit 0\n");
        return runOnBoard(*board_, {"/opt/mmb/bin/mmbmond"}).status;
    }

    TestBoard board_;
    pid_t feeder_ = 0;
};

TEST_F(Watchdog, expires_only_when_running_armed_and_unfed_for_its_period)
{
    const Case cases[] = {
        {"fed all along", "run", nullptr, 0x0000, 600, false},
        {"feeder hangs", "run", "feeder-hang", 0x0000, 600, true},
        {"feeder hangs, within the period", "run", "feeder-hang", 0x0000, 59, false},
        {"feeder hangs, the period reached", "run", "feeder-hang", 0x0000, 60, true},
        {"feeder died", "exit 0", nullptr, 0x0000, 600, true},
        {"disabled", "run", "feeder-hang", 0x0080, 600, false},
        {"stopped as mmbipmid dumped core", "run", "feeder-hang", 0x800F, 600, false},
        {"never fed since the boot", nullptr, nullptr, 0x0000, 600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        board_->stopPrograms();
        if (feeder_ > 0)
            waitpid(feeder_, nullptr, 0);
        feeder_ = 0;
        board_->clearFaults();
        board_->reboot();
        board_->setReg(0x600, 0x0000);
        board_->setReg(0x610, c.control);
        size_t from = board_->events().size();
        if (c.feeder != nullptr)
            startFeeder(c.feeder);
        if (c.feeder != nullptr && std::string(c.feeder).rfind("exit", 0) == 0) {
            waitpid(feeder_, nullptr, 0);  // the feeder is gone before time passes
            feeder_ = 0;
        }
        if (c.fault != nullptr)
            board_->addFault(c.fault);

        EXPECT_EQ(passTime(c.unfed), c.expires ? KILLED : 0);
        std::vector<std::string> events = board_->events();
        bool reset = std::find(events.begin() + static_cast<long>(from), events.end(), "watchdog reset") != events.end();
        EXPECT_EQ(reset, c.expires);
        EXPECT_EQ(board_->reg(0x600), c.expires ? 0x0100 : 0x0000);
        if (reset && feeder_ > 0) {
            pid_t feeder = feeder_;  // the reset took every program
            EXPECT_TRUE(waitUntil([feeder] { return waitpid(feeder, nullptr, WNOHANG) == feeder; }));
            feeder_ = 0;
        }
    }
}

// After an expiry a reboot keeps the error flag, and the watchdog waits for
// its first feed again: time passing before it is fed is no expiry.
TEST_F(Watchdog, a_reboot_keeps_the_error_flag_and_waits_for_the_first_feed)
{
    startFeeder("run");
    board_->addFault("feeder-hang");
    ASSERT_EQ(passTime(100), KILLED);
    board_->clearFaults();
    board_->reboot();
    EXPECT_EQ(board_->reg(0x600) & 0x0100, 0x0100);
    EXPECT_EQ(passTime(600), 0);
    EXPECT_EQ(eventsStartingWith(*board_, "watchdog"), std::vector<std::string>{"watchdog reset"});
}

} // namespace
