// The whole system on simulated boards: the reference start-up program
// brings up an Active/Standby pair, supervises its daemons, changes mode
// when dualprocess orders it, and carries a firmware update through a
// reboot.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "RunningPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string READY = "dualprocess request 0x80020021 data 80020021";
const std::string CHANGE_START = "dualprocess request 0x80020031 data 80020031";
const std::string CHANGE_COMPLETE = "dualprocess request 0x80020041 data 80020041";

const std::vector<std::string> ACTIVE_SERVICES = {
    "/etc/init.d/fcron start &", "/etc/init.d/ldap start &",     "/etc/init.d/lighttpd start &",
    "/etc/init.d/misc start",    "/etc/init.d/ntpd start",       "/etc/init.d/postfix start &",
    "/etc/init.d/snmpd start",   "/etc/init.d/xinetd start",
};
const std::vector<std::string> STANDBY_SERVICES = {
    "/etc/init.d/fcron start &", "/etc/init.d/ldap start &", "/etc/init.d/misc start",
    "/etc/init.d/ntpd start",    "/etc/init.d/snmpd start",  "/etc/init.d/xinetd start",
};

std::vector<std::string> sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The init script calls from line `from` on, sorted, once there are
// `expected` of them: background scripts record their calls late, and in
// any order.
std::vector<std::string> serviceCalls(const sim::SimBoard& board, size_t from, size_t expected)
{
    std::vector<std::string> lines;
    waitUntil([&] {
        lines = sim::readLines(board.path("log/init.d"));
        return lines.size() >= from + expected;
    });
    return sorted({lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end()});
}

// Daemon starts from event `from` on, without their niceness, which
// depends on the test's own.
std::vector<std::string> daemonStarts(const sim::SimBoard& board, size_t from = 0)
{
    std::vector<std::string> events = board.events();
    std::vector<std::string> starts;
    for (size_t i = from; i < events.size(); ++i)
        if (events[i].rfind("daemon ", 0) == 0)
            starts.push_back(events[i].substr(0, events[i].find(" nice=")));
    return sorted(starts);
}

bool traced(const sim::SimBoard& board, const std::string& line)
{
    return RunningPair::traced(board, line);
}

class Pair : public testing::Test {
protected:
    void boot(const sim::SimBoard& board) { ASSERT_TRUE(pair_.boot(board)) << RunningPair::logsOf(board); }

    // Waits until the start-up program has asked for a reboot; it stays,
    // waiting for the board to go down.
    static void waitForRebootRequest(const sim::SimBoard& board, size_t requests = 1)
    {
        ASSERT_TRUE(waitUntil([&] { return RunningPair::eventCount(board, "reboot") == requests; }));
    }

    // Board A with a clock, so that the start-up program's pauses pass at once.
    void bootWithClock()
    {
        a_.setClock(1000, 0, 1000);
        boot(a_);
    }

    // Brings the pair up, A Active, and has A's dualprocess order a mode
    // change; returns once both boards have completed it. The init script
    // calls of the start are all recorded before it.
    void changeModes()
    {
        boot(a_);
        boot(b_);
        serviceCalls(a_, 0, ACTIVE_SERVICES.size());
        serviceCalls(b_, 0, STANDBY_SERVICES.size());
        kill(daemonPid(a_, "dualprocess"), SIGUSR1);
        for (const sim::SimBoard* board : {&a_, &b_})
            ASSERT_TRUE(RunningPair::waitForEvent(*board, CHANGE_COMPLETE)) << RunningPair::logsOf(*board);
    }

    static void reboot(const sim::SimBoard& board) { ASSERT_TRUE(RunningPair::simOn("reboot", board)); }

    RunningPair pair_;
    const sim::SimBoard& a_ = pair_.a();
    const sim::SimBoard& b_ = pair_.b();
};

TEST_F(Pair, one_board_comes_up_active_with_every_service_the_other_standby)
{
    boot(a_);
    boot(b_);

    EXPECT_EQ(serviceCalls(a_, 0, ACTIVE_SERVICES.size()), ACTIVE_SERVICES);
    EXPECT_EQ(serviceCalls(b_, 0, STANDBY_SERVICES.size()), STANDBY_SERVICES);
    EXPECT_EQ(sim::readFile(a_.boardPath("/etc/sysconfig/mmbid")), "MMBID=0\nMMBMODE=A\n");
    EXPECT_EQ(sim::readFile(b_.boardPath("/etc/sysconfig/mmbid")), "MMBID=1\nMMBMODE=S\n");
    EXPECT_TRUE(traced(a_, "RUN# 20002 Decision of MMB mode(40000000 Active:Duplicate) error(0)"));
    EXPECT_TRUE(traced(b_, "RUN# 20002 Decision of MMB mode(00000000 Standby:Duplicate) error(0)"));

    // The table's daemons with their start arguments: AC-ON, Active, second board.
    EXPECT_EQ(daemonStarts(a_), (std::vector<std::string>{"daemon mmbipmid 1 1 0", "daemon mmblogd 1 1 0",
                                                            "daemon mmbmond 1 1 0"}));
    EXPECT_EQ(daemonStarts(b_), (std::vector<std::string>{"daemon mmbipmid 1 0 1", "daemon mmblogd 1 0 1",
                                                            "daemon mmbmond 1 0 1"}));
    for (const sim::SimBoard* board : {&a_, &b_}) {
        pid_t dualprocess = daemonPid(*board, "dualprocess");
        EXPECT_TRUE(dualprocess > 0 && kill(dualprocess, 0) == 0) << board->directory();
        // Traced as monitoring begins, just after the ready report.
        EXPECT_TRUE(waitUntil([&] { return traced(*board, "RUN# 20002 InitMMBProcessMGR::checkdualprocess OK"); }));
    }
}

TEST_F(Pair, mode_change_is_answered_by_the_board_becoming_active_before_both_switch_roles)
{
    changeModes();
    EXPECT_EQ(eventsStartingWith(a_, "dualprocess"),
              (std::vector<std::string>{READY, "dualprocess switch", "dualprocess hangup request",
                                        "dualprocess hangup switch", CHANGE_COMPLETE}));
    EXPECT_EQ(eventsStartingWith(b_, "dualprocess"),
              (std::vector<std::string>{READY, "dualprocess hangup request", CHANGE_START,
                                        "dualprocess hangup switch", CHANGE_COMPLETE}));
    EXPECT_EQ(sim::readFile(a_.boardPath("/etc/sysconfig/mmbid")), "MMBID=0\nMMBMODE=S\n");
    EXPECT_EQ(sim::readFile(b_.boardPath("/etc/sysconfig/mmbid")), "MMBID=1\nMMBMODE=A\n");
}

TEST_F(Pair, mode_change_restarts_the_services_of_the_new_roles)
{
    changeModes();
    EXPECT_EQ(serviceCalls(a_, ACTIVE_SERVICES.size(), 8),
              (std::vector<std::string>{"/etc/init.d/fcron restart &", "/etc/init.d/ldap restart &",
                                        "/etc/init.d/lighttpd stop", "/etc/init.d/misc restart",
                                        "/etc/init.d/ntpd restart", "/etc/init.d/postfix stop",
                                        "/etc/init.d/snmpd restart", "/etc/init.d/xinetd restart"}));
    EXPECT_EQ(serviceCalls(b_, STANDBY_SERVICES.size(), 8),
              (std::vector<std::string>{"/etc/init.d/fcron restart &", "/etc/init.d/ldap restart &",
                                        "/etc/init.d/lighttpd start &", "/etc/init.d/misc restart",
                                        "/etc/init.d/ntpd restart", "/etc/init.d/postfix start &",
                                        "/etc/init.d/snmpd restart", "/etc/init.d/xinetd restart"}));
}

TEST_F(Pair, daemon_that_lived_long_restarts_one_that_died_young_reboots_the_board)
{
    bootWithClock();

    a_.setClock(2000, 0, 1000);  // the daemons have run for over 300 seconds
    pid_t first = daemonPid(a_, "mmbmond");
    kill(first, SIGKILL);
    // The new daemon may log its start before its supervisor traces the restart.
    ASSERT_TRUE(waitUntil([&] {
        std::vector<std::string> starts = daemonStarts(a_);
        return std::count(starts.begin(), starts.end(), "daemon mmbmond 1 1 0") == 2 &&
               traced(a_, "DBG# 20002 Restart Daemon");
    }));

    ASSERT_TRUE(waitUntil([&] { return daemonPid(a_, "mmbmond") != first; }));
    kill(daemonPid(a_, "mmbmond"), SIGKILL);  // at once: judged by the 300-second rule
    waitForRebootRequest(a_);
    EXPECT_TRUE(traced(a_, "RUN# 20001 reboot[3] by mmbmond down"));
    // A warning (kind 1), and the down log (kind 3) in NVRAM: killed by signal 9.
    EXPECT_EQ(errorLogCodes(a_), (std::vector<Bytes>{{1, 0xF0, 9, 3, 2, 0, 9, 0}}));
    EXPECT_EQ(nvramBig32(a_, 36), 1u);
    EXPECT_EQ(nvramBig32(a_, 40), 2000u);
    EXPECT_EQ(nvramBytes(a_, 48, 8), (Bytes{3, 0xF0, 9, 3, 2, 0, 9, 0}));

    reboot(a_);
    boot(a_);
    EXPECT_EQ(eventsStartingWith(a_, "boot "), std::vector<std::string>{"boot HCP 0 bank 0"});
    EXPECT_EQ(nvramBytes(a_, 48, 8), (Bytes{3, 0xF0, 9, 3, 2, 0, 9, 0}));  // kept for the field engineer
}

// Events of the reboot's ways, from event from on.
std::vector<std::string> rebootSteps(const sim::SimBoard& board, size_t from)
{
    std::vector<std::string> events = board.events();
    std::vector<std::string> steps;
    for (size_t i = from; i < events.size(); ++i)
        for (const char* way : {"reboot", "sleep ", "sync"})
            if (events[i].rfind(way, 0) == 0)
                steps.push_back(events[i]);
    return steps;
}

// A reboot that fails never leaves the board without its supervisor:
// /sbin/reboot three times a second apart, then sync and reboot(2); when
// that fails too, supervision goes on, and the next death asks again.
TEST_F(Pair, a_reboot_that_fails_leaves_the_board_supervised)
{
    bootWithClock();
    a_.addFault("tool reboot 1");
    a_.addFault("reboot-call EPERM");
    size_t from = a_.events().size();
    kill(daemonPid(a_, "mmbmond"), SIGKILL);  // died young: the board is to reboot
    ASSERT_TRUE(waitUntil([&] { return traced(a_, "RUN# 20002 rebootBoard:reboot failed, supervision goes on"); }))
        << RunningPair::logsOf(a_);
    const std::vector<std::string> oneRound = {"reboot", "sleep 1", "reboot", "sleep 1", "reboot",
                                               "sync", "reboot(2) 0x01234567"};
    EXPECT_EQ(rebootSteps(a_, from), oneRound);
    for (const char* line : {"RUN# 20011 rebootBoard:/sbin/reboot 1", "RUN# 20002 rebootBoard:sync and reboot(2)",
                             "RUN# 20011 rebootBoard:reboot(2) 1"})
        EXPECT_TRUE(traced(a_, line)) << line;
    EXPECT_EQ(nvramBytes(a_, 48, 8), (Bytes{3, 0xF0, 9, 3, 2, 0, 9, 0}));

    from = a_.events().size();
    kill(daemonPid(a_, "mmblogd"), SIGKILL);  // still supervised
    ASSERT_TRUE(waitUntil([&] { return rebootSteps(a_, from).size() == oneRound.size(); }));
    EXPECT_EQ(rebootSteps(a_, from), oneRound);
}

// Writes of the reset type register from write from on.
std::vector<std::string> resetTypeWrites(const sim::SimBoard& board, size_t from)
{
    std::vector<std::string> writes = board.cpldWrites();
    std::vector<std::string> found;
    for (size_t i = from; i < writes.size(); ++i)
        if (writes[i].rfind("0x0600 ", 0) == 0)
            found.push_back(writes[i]);
    return found;
}

// mmbipmid feeds the watchdog; hung, it lets it expire in the next
// monitoring pass (120 board seconds). The start after the reset records
// the expiry once and clears the flag, so the start after that does not.
TEST_F(Pair, a_watchdog_expiry_is_recorded_once_by_the_start_after_it)
{
    bootWithClock();
    a_.addFault("feeder-hang");
    // Replaced at once: the monitoring loop may be reading it as it arms its timer.
    sim::writeFile(a_.path("hw/timers.new"), "at-once 1\n");
    fs::rename(a_.path("hw/timers.new"), a_.path("hw/timers"));
    ASSERT_TRUE(waitUntil([&] { return RunningPair::eventCount(a_, "watchdog reset") == 1; }));
    ASSERT_TRUE(pair_.halted());
    EXPECT_EQ(a_.reg(0x600) & 0x0100, 0x0100);

    a_.clearFaults();
    sim::writeFile(a_.path("hw/timers"), "scale 20\n");
    const Bytes expiry = {2, 0xF0, 0x19, 0, 0, 0, 0, 0};
    reboot(a_);
    size_t written = a_.cpldWrites().size();
    boot(a_);
    EXPECT_TRUE(traced(a_, "RUN# 20003 MMB boot (WatchDogTimer Error Bit=ON)"));
    EXPECT_EQ(errorLogCodes(a_), std::vector<Bytes>{expiry});
    EXPECT_EQ(a_.reg(0x600) & 0x0100, 0);
    // resetWdtError (1 clears the error flag), then resetPowerOnFlag.
    EXPECT_EQ(resetTypeWrites(a_, written), (std::vector<std::string>{"0x0600 0x0100", "0x0600 0x0000"}));

    reboot(a_);
    written = a_.cpldWrites().size();
    boot(a_);
    EXPECT_FALSE(traced(a_, "RUN# 20003 MMB boot (WatchDogTimer Error Bit=ON)"));
    EXPECT_EQ(errorLogCodes(a_), std::vector<Bytes>{expiry});
    EXPECT_EQ(resetTypeWrites(a_, written), std::vector<std::string>{"0x0600 0x0000"});
}

// No process table: nothing to supervise is a fatal start-up error (a down
// log and a reboot), and with the reboot failing, the program waits
// instead of spinning in a monitoring loop with no child to wait for.
TEST_F(Pair, a_board_without_daemons_is_a_fatal_start_up_error_not_a_busy_loop)
{
    for (const char* table : {"/etc/mmb/init/pro_file.ctl", "/etc/mmb/init/pro_standing.ctl"})
        fs::remove(a_.boardPath(table));
    a_.setClock(1000, 0, 1000);
    a_.addFault("tool reboot 1");
    a_.addFault("reboot-call EPERM");
    pair_.start(a_);
    ASSERT_TRUE(waitUntil([&] {
        return traced(a_, "RUN# 20002 superviseForever:no child left to supervise, waiting");
    })) << RunningPair::logsOf(a_);
    EXPECT_TRUE(traced(a_, "RUN# 20010 requireDaemons no daemon to supervise."));
    EXPECT_EQ(nvramBytes(a_, 48, 8), (Bytes{3, 0xF0, 0x1C, 0, 0, 0, 0, 0}));
    EXPECT_EQ(RunningPair::eventCount(a_, "reboot"), 3u);
}

// The board's I2C initialisation completes at each boot and removes the
// marker a power-on left: a reboot is judged REBOOT, a power cycle AC-ON, as
// the daemons' first start argument tells them.
TEST_F(Pair, a_reboot_is_judged_reboot_and_a_power_cycle_ac_on)
{
    struct Boot {
        const char* verb;
        const char* judged;
        const char* bootCause;
    };
    boot(a_);
    for (const Boot& next : {Boot{"reboot", "REBOOT", "0"}, Boot{"power-cycle", "AC-ON", "1"}}) {
        ASSERT_TRUE(RunningPair::simOn(next.verb, a_));
        size_t from = a_.events().size();
        boot(a_);
        EXPECT_TRUE(traced(a_, std::string("DBG# 20001 judge MMB reset cause ") + next.judged)) << next.verb;
        EXPECT_FALSE(traced(a_, "DBG# 20001 judge MMB I2C reset cause AC-ON")) << next.verb;
        std::vector<std::string> expected;
        for (const char* daemon : {"mmbipmid", "mmblogd", "mmbmond"})
            expected.push_back(std::string("daemon ") + daemon + " " + next.bootCause + " 1 0");
        EXPECT_TRUE(waitUntil([&] { return daemonStarts(a_, from) == expected; })) << next.verb;
    }
}

// As the firmware update tool leaves a board: HCP 1 holds the new
// firmware V02L00 and boots next, from boot ROM bank 1; the package holds
// the boot image of the active NOR flash.
void applyUpdate(const sim::SimBoard& board)
{
    sim::writeFile(board.path("hcp1/opt/mmb/version.dat"), "REVISION=V02L00\n");
    sim::writeFile(board.path("hcp1/opt/mmb/new-firmware"), "V02L00\n");
    board.writeFirmwarePackage(board.norImage("mtd0"));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-s", "1"}, {"-m", "1", "V02L00"}, {"-b", "1"}})
        ASSERT_EQ(runNvram(board, args).status, 0);
    board.patchNvram(0, 6, {1});  // the firmware exchange flag
    ASSERT_EQ(runNvram(board, {"-a"}).status, 0);
    EXPECT_EQ(nvramBytes(board, 0, 1), Bytes{'F'});
}

TEST_F(Pair, firmware_update_is_committed_by_the_first_start_after_the_reboot)
{
    boot(a_);
    applyUpdate(a_);

    reboot(a_);
    boot(a_);
    EXPECT_EQ(eventsStartingWith(a_, "boot "), std::vector<std::string>{"boot HCP 1 bank 1"});
    EXPECT_EQ(nvramBytes(a_, 0, 32), (Header{0, 1, 1, 1, 1, 0, 0, 0, 0, "V02L00", "V02L00"}.bytes()));
    EXPECT_EQ(errorLogCodes(a_), (std::vector<Bytes>{{3, 0xC2, 7, 0, 0, 0, 0, 0}}));
    EXPECT_TRUE(traced(a_, "RUN# 20002 Exchage of MMB Firmware"));
    // The standby copies: NOR flash and the old HCP now hold the new firmware.
    EXPECT_EQ(a_.norImage("mtd1"), a_.norImage("mtd0"));
    EXPECT_EQ(sim::readFile(a_.path("hcp0/opt/mmb/new-firmware")), "V02L00\n");
}

TEST_F(Pair, firmware_that_does_not_come_up_is_rolled_back)
{
    boot(a_);
    applyUpdate(a_);
    sim::writeFile(a_.path("hw/daemons/mmbipmid"), "exit 1\n");  // the new firmware's mmbipmid fails

    reboot(a_);
    pair_.start(a_);
    waitForRebootRequest(a_, 2);  // nvram -a's, then the start-up program's
    EXPECT_EQ(nvramBytes(a_, 0, 32), (Header{'R', 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"}.bytes()));
    EXPECT_EQ(a_.eepromBootBank(), 0);
    // mmbipmid died during the start wait.
    EXPECT_EQ(nvramBytes(a_, 48, 8), (Bytes{1, 0xF0, 9, 2, 1, 0xFF, 0xFF, 0}));

    sim::writeFile(a_.path("hw/daemons/mmbipmid"), "ready\n");
    reboot(a_);
    boot(a_);
    EXPECT_EQ(eventsStartingWith(a_, "boot "), (std::vector<std::string>{"boot HCP 1 bank 1", "boot HCP 0 bank 0"}));
    EXPECT_EQ(nvramBytes(a_, 0, 32), (Header{0, 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"}.bytes()));
    EXPECT_EQ(errorLogCodes(a_), (std::vector<Bytes>{{1, 0xC2, 3, 0x10, 0, 0, 0, 0}}));
    EXPECT_FALSE(fs::exists(a_.path("hcp0/opt/mmb/new-firmware")));  // no standby copy was made
}

} // namespace
