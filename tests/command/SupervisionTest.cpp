// Process supervision on simulated boards: the table's daemons start in
// order, the start wait for "mmbipmid", and every death handled by the
// monitoring loop. Board time makes the 300-second rule and the timers
// testable without waiting.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Daemon {
    std::string name;
    std::string behaviour;  // see sim/daemons/mmb-daemon.cpp
};

// Timer settings (hw/timers). A wait that must end by a daemon's signal or
// death gets 18 seconds: no start takes that long, even on a busy machine
// or an emulated board, and a lost signal still ends in a time-out record
// within the run.
const std::string PATIENT = "scale 20\n";
const std::string HASTY = "scale 1000\n";  // 360-second waits last 360 ms

// A board that rebooted, with valid NVRAM, a board clock at 1000 s, the
// timers, and the given process table and daemons.
void prepare(const sim::SimBoard& board, const std::string& table, const std::vector<Daemon>& daemons,
             const std::string& timers = HASTY)
{
    makeHealthy(board, {});
    board.setClock(1000, 0, 0);
    sim::writeFile(board.path("hw/timers"), timers);
    fs::create_directories(board.path("hw/daemons"));
    for (const Daemon& daemon : daemons) {
        fs::create_symlink(std::string(MMB_BIN_DIR) + "/mmb-daemon", board.boardPath("/opt/mmb/bin/" + daemon.name));
        sim::writeFile(board.path("hw/daemons/" + daemon.name), daemon.behaviour + "\n");
    }
    sim::writeFile(board.boardPath("/etc/mmb/init/pro_file.ctl"), table);
}

std::vector<std::string> starts(const sim::SimBoard& board)
{
    return eventsStartingWith(board, "daemon ");
}

// A trace line begins so; "(sec=" and the board time may follow the text.
bool traced(const sim::SimBoard& board, const std::string& begin)
{
    std::vector<std::string> lines = sim::readLines(board.boardPath("/tmp/trace.log"));
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(begin, 0) == 0; });
}

std::vector<std::string> files(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Supervision, table_daemons_start_in_order_with_their_arguments)
{
    TestBoard board({1});
    prepare(*board, "/* a comment */\n3\nalpha 1 -1 1 x y\nbeta 1 5 2 x y\ngamma 1 10 3 x y\n#END\n",
            {{"alpha", "run"}, {"beta", "run"}, {"gamma", "run"}});
    board->setReg(0x600, 0x0080);  // the power came on
    ProcessResult result = procSteps(*board, {"standby", "activate", "started"});
    EXPECT_EQ(result.out, "started=3\n") << result.err;
    // The manager's trace gives the start order; each daemon records its own
    // start (in whatever order they get to run) with what it was given:
    // AC-ON? (1), Active? (Standby: 0), second board? (1), and the
    // table's niceness increment over this test's own.
    std::vector<std::string> forks;
    for (const std::string& line : stepTraces(*board))
        if (line.rfind("DBG# 20001 /opt/mmb/bin/", 0) == 0)
            forks.push_back(line);
    EXPECT_EQ(forks, (std::vector<std::string>{"DBG# 20001 /opt/mmb/bin/alpha:alpha:1:0:1",
                                               "DBG# 20001 /opt/mmb/bin/beta:beta:1:0:1",
                                               "DBG# 20001 /opt/mmb/bin/gamma:gamma:1:0:1"}));
    int base = getpriority(PRIO_PROCESS, 0);
    auto start = [base](const char* name, int increment) {
        return std::string("daemon ") + name + " 1 0 1 nice=" + std::to_string(std::min(base + increment, 19));
    };
    // The step program may end before a daemon it started has run at all.
    ASSERT_TRUE(waitUntil([&] { return starts(*board).size() >= 3; }));
    std::vector<std::string> started = starts(*board);
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, (std::vector<std::string>{start("alpha", -1), start("beta", 5), start("gamma", 10)}));
}

TEST(Supervision, table_count_must_match_its_lines)
{
    const std::pair<std::string, std::string> cases[] = {
        {"3\nalpha 1 0 1 x y\nbeta 1 0 2 x y\n", "RUN# 20010 InitMMBProcessMGR::create process count is too big."},
        {"1\nalpha 1 0 1 x y\nbeta 1 0 2 x y\n", "RUN# 20010 InitMMBProcessMGR::create process count is too small."},
        {"-2\nalpha 1 0 1 x y\nbeta 1 0 2 x y\n", "RUN# 20010 InitMMBProcessMGR::create process count is too big."},
    };
    for (const auto& [table, trace] : cases) {
        TestBoard board({}, std::to_string(&table - &cases[0].first));
        prepare(*board, table, {{"alpha", "run"}, {"beta", "run"}});
        const std::string thrown = "thrown kind=1 unit=f0 codes=1c 04 00 00 00 00\n";
        EXPECT_EQ(procSteps(*board, {"activate", "activate"}).out, thrown + thrown);  // read afresh, it fails again
        EXPECT_TRUE(traced(*board, trace)) << table;
        EXPECT_TRUE(starts(*board).empty()) << table;
    }
}

struct WaitCase {
    const char* what;
    std::string timers;  // hw/timers: the wait's time-out must not come first unless it is the case
    std::string table;
    std::vector<Daemon> daemons;
    std::string out;
    std::string trace;  // "%d": alpha's pid
};


TEST(Supervision, start_waits_for_mmbipmid)
{
    const WaitCase cases[] = {
        {"signalled", PATIENT, "2\nmmbipmid 0 0 7 x y z w 1\nbeta 0 0 8 x y z w 0\n", {{"mmbipmid", "ready"}, {"beta", "run"}},
         "started=2\n", "DBG# 20002 wait signal(SIGINT) from mmbipmid"},
        {"timed out", HASTY, "2\nmmbipmid 0 0 7 x y z w 1\nbeta 0 0 8 x y z w 0\n", {{"mmbipmid", "run"}, {"beta", "run"}},
         "thrown kind=1 unit=f0 codes=09 07 01 ff ff 01\nstarted=1\n",
         "RUN# 20003 InitMMBProcessMGR::timeout is detected, starting ipmi"},
        {"another daemon died", PATIENT, "2\nalpha 0 0 6 x y\nmmbipmid 0 0 7 x y z w 1\n", {{"alpha", "exit 0"}, {"mmbipmid", "run"}},
         "thrown kind=1 unit=f0 codes=09 07 01 ff ff 00\nstarted=2\n",
         "RUN# 20032 InitMMBProcessMGR::Process(%d) down"},
        {"timed out as armed: 360 board seconds", "at-once 1\n", "2\nmmbipmid 0 0 7 x y z w 1\nbeta 0 0 8 x y z w 0\n",
         {{"mmbipmid", "run"}, {"beta", "run"}}, "thrown kind=1 unit=f0 codes=09 07 01 ff ff 01\nstarted=1\n",
         "RUN# 20003 InitMMBProcessMGR::timeout is detected, starting ipmi(sec=1360"},
        {"no mmbipmid", HASTY, "2\nalpha 0 0 6 x y z w 1\nbeta 0 0 8 x y\n", {{"alpha", "run"}, {"beta", "run"}},
         "started=2\n", ""},
    };
    for (const WaitCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        prepare(*board, c.table, c.daemons, c.timers);
        ProcessResult result = procSteps(*board, {"activate", "started"});
        EXPECT_EQ(result.out, c.out) << c.what << result.err;
        std::string trace = c.trace;
        if (std::string::size_type pid = trace.find("%d"); pid != std::string::npos)
            trace.replace(pid, 2, std::to_string(daemonPid(*board, "alpha")));
        EXPECT_TRUE(traced(*board, trace)) << c.what;
    }
}

struct EndCase {
    const char* what;
    std::string line;       // the daemon's table line
    std::string behaviour;  // of alpha and mmbipmid; ghost has no executable
    std::vector<std::string> downInfo;  // file names, in order
    std::string out;        // what ends supervision
    std::string trace;      // why (the beginning of a trace line)
    bool warning;           // a warning record precedes it
    bool watchdogStopped;
    std::string fault = "";                         // armed on the board
    std::vector<std::string> steps = {"activate"};  // what starts the daemon
    std::string timers = "scale 1\n";              // no timer ends a pass within the run
    long long start = 1000;                         // board seconds at the first start
};

// The down-info files of deaths at these board seconds.
std::vector<std::string> downInfo(const std::vector<long long>& seconds)
{
    std::vector<std::string> names;
    for (long long second : seconds)
        names.push_back("init_downinfo." + std::to_string(second));
    return names;
}

// A mode change is requested before each run: a pass that restarted a
// daemon does not look for it; any other pass does, and ends the run. A
// daemon started before 2038-01-19 03:14:08 and dying after it keeps its
// true age for the 300-second rule; its down-info files and traces carry
// the true seconds, unsigned as the stored fields hold them.
TEST(Supervision, deaths_are_restarted_or_end_supervision)
{
    const EndCase cases[] = {
        {"restarted three times", "alpha 1 0 17 x y", "live 301 exit 1", downInfo({1301, 1602, 1903, 2204}),
         "thrown kind=3 unit=f0 codes=09 11 02 01 00 00\n", "RUN# 20001 reboot[2] by alpha down", true, false},
        {"in the list of every mode", "alpha 1 0 17 x y", "live 301 exit 1", downInfo({1301, 1602, 1903, 2204}),
         "thrown kind=3 unit=f0 codes=09 11 02 01 00 00\n", "RUN# 20001 reboot[2] by alpha down", true, false, "",
         {"table=0,/etc/mmb/init/pro_file.ctl"}},
        {"died within 300 seconds", "alpha 1 0 17 x y", "live 300 exit 2", downInfo({1300}),
         "thrown kind=3 unit=f0 codes=09 11 02 02 00 00\n", "RUN# 20001 reboot[3] by alpha down", true, false},
        {"restarts forbidden", "alpha 0 0 17 x y", "live 999 exit 3", downInfo({1999}),
         "thrown kind=3 unit=f0 codes=09 11 02 03 00 00\n", "RUN# 20001 reboot[4] by alpha down", true, false},
        {"crashed", "alpha 2 0 17 x y", "live 10 crash", downInfo({1010}),
         "thrown kind=3 unit=f0 codes=09 11 02 00 8b 00\n", "RUN# 20001 reboot[4] by alpha down", true, false},
        {"mmbipmid exited", "mmbipmid 0 0 18 x y", "live 10 exit 1", downInfo({1010}),
         "thrown kind=1 unit=f0 codes=09 12 02 01 00 00\n", "RUN# 20001 reboot[4] by mmbipmid down", false, false},
        {"mmbipmid crashed", "mmbipmid 0 0 18 x y", "live 10 crash", downInfo({1010}),
         "thrown kind=1 unit=f0 codes=09 12 02 00 8b 00\n", "RUN# 20001 reboot[4] by mmbipmid down", false, true},
        {"mmbipmid crashed, no CPLD", "mmbipmid 0 0 18 x y", "live 10 crash", downInfo({1010}),
         "thrown kind=1 unit=f0 codes=09 12 02 00 8b 00\n", "RUN# 20011 can't open CPLD 2", false, false, "missing cpld"},
        {"mmbipmid crashed, CPLD write fails", "mmbipmid 0 0 18 x y", "live 10 crash", downInfo({1010}),
         "thrown kind=1 unit=f0 codes=09 12 02 00 8b 00\n", "RUN# 20003 can't write CPLD 5", false, false,
         "cpld-write 0x610 EIO"},
        {"no executable", "ghost 0 0 5 x y", "run", downInfo({1000}),
         "thrown kind=3 unit=f0 codes=09 05 02 0b 00 00\n", "RUN# 20011 execMmbProc:execl 2", true, false},
        {"a child in neither list died", "alpha 0 0 1 x y", "run", {}, "thrown ACTIVATE\n",
         "RUN# 20001 changing MMB Mode from Standby to Active", false, false, "", {"orphan", "activate"}},
        {"a pass timed out: 120 board seconds", "alpha 0 0 1 x y", "run", {}, "thrown ACTIVATE\n",
         "RUN# 20001 changing MMB Mode from Standby to Active(sec=1120", false, false, "", {"activate"},
         "at-once 1\n"},
        {"restarted three times across 2038", "alpha 1 0 17 x y", "live 301 exit 1",
         downInfo({2147483648, 2147483949, 2147484250, 2147484551}), "thrown kind=3 unit=f0 codes=09 11 02 01 00 00\n",
         "RUN# 20001 reboot[2] by alpha down(sec=2147484551)", true, false, "", {"activate"}, "scale 1\n", 2147483347},
        {"died within 300 seconds across 2038", "alpha 1 0 17 x y", "live 300 exit 2", downInfo({2147483648}),
         "thrown kind=3 unit=f0 codes=09 11 02 02 00 00\n", "RUN# 20001 reboot[3] by alpha down(sec=2147483648)", true,
         false, "", {"activate"}, "scale 1\n", 2147483348},
    };
    for (const EndCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        prepare(*board, "1\n" + c.line + "\n", {{"alpha", c.behaviour}, {"mmbipmid", c.behaviour}}, c.timers);
        board->setClock(c.start, 0, 0);
        if (!c.fault.empty())
            board->addFault(c.fault);
        board->setDualSetting("own", "0x00000100");  // dualprocess asks this Standby board to become Active
        std::vector<std::string> steps = {"standby", "change-requested"};
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        steps.push_back("monitor");
        ProcessResult result = procSteps(*board, steps);
        EXPECT_EQ(result.out, c.out) << c.what << result.err;
        EXPECT_TRUE(traced(*board, c.trace)) << c.what;
        EXPECT_EQ(files(board->boardPath("/var/mmb/log/init")).size(), c.warning ? 1u : 0u) << c.what;
        EXPECT_EQ(files(board->boardPath("/var/mmb/core/core_save")), c.downInfo) << c.what;
        EXPECT_EQ(board->cpldWrites(), std::vector<std::string>(c.watchdogStopped ? 1 : 0, "0x0610 0x800f")) << c.what;
    }
}

TEST(Supervision, crash_core_and_backtrace_are_kept)
{
    TestBoard board;
    prepare(*board, "1\nalpha 0 0 1 x y\n", {{"alpha", "live 10 crash"}});
    sim::writeFile(board->boardPath("/var/mmb/core/segfault.txt"), "backtrace\n");
    fs::create_directories(board->boardPath("/var/mmb/core/core_save/init_downinfo.1010"));  // unwritable: no matter
    procSteps(*board, {"activate", "monitor"});
    EXPECT_TRUE(fs::exists(board->boardPath("/mnt/dump/core.alpha.gz")));
    EXPECT_EQ(sim::readFile(board->boardPath("/var/mmb/core/core_save/bt.alpha.1010")), "backtrace\n");
    EXPECT_FALSE(fs::exists(board->boardPath("/var/mmb/core/segfault.txt")));
}

// A daemon that crashes again and again, beside a stray core of its own
// (one left by a death in the start wait) and the core of a module whose
// name begins the same: each crash's core is saved, none stays raw, on a
// board whose kernel adds the pid to core names and on one with the
// start-up's core pattern.
TEST(Supervision, crash_loop_leaves_no_raw_core)
{
    for (const char* usesPid : {"1\n", "0\n"}) {
        TestBoard board({}, usesPid);
        prepare(*board, "1\nalpha 1 0 1 x y\n", {{"alpha", "live 400 crash"}});
        sim::writeFile(board->path("hw/core_pattern"), "/var/mmb/core/core.%e\n");
        sim::writeFile(board->path("hw/core_uses_pid"), usesPid);
        sim::writeFile(board->boardPath("/var/mmb/core/core.alpha.1"), "stray\n");
        sim::writeFile(board->boardPath("/var/mmb/core/core.alphabet"), "another module's\n");
        ProcessResult result = procSteps(*board, {"activate", "monitor"});
        EXPECT_EQ(result.out, "thrown kind=3 unit=f0 codes=09 01 02 00 8b 00\n") << result.err;
        EXPECT_EQ(starts(*board).size(), 4u);
        std::vector<std::string> saves;
        for (const std::string& line : stepTraces(*board))
            if (line.rfind("DBG# 20001 \"/bin/gzip -9 -f ", 0) == 0)
                saves.push_back(line);
        EXPECT_EQ(saves.size(), 4u) << usesPid;
        EXPECT_EQ(files(board->boardPath("/var/mmb/core")), (std::vector<std::string>{"core.alphabet", "core_save"}));
        EXPECT_EQ(sim::readFile(board->boardPath("/var/mmb/core/core.alphabet")), "another module's\n");
        EXPECT_EQ(sim::readFile(board->boardPath("/mnt/dump/core.alpha.gz")).substr(0, 2), "\x1f\x8b");
    }
}

// Every wait fails at once, and every pass looks for a mode change: one
// ordered as the third wait begins ends the run.
TEST(Supervision, no_children_keeps_the_loop_turning_and_looking_for_a_change)
{
    TestBoard board;
    prepare(*board, "", {});
    board->setDualSetting("own", "0x00000100");  // dualprocess asks this Standby board to become Active
    ProcessResult result = procSteps(*board, {"standby", "change-at-wait=3", "monitor"});
    EXPECT_EQ(result.out, "thrown ACTIVATE\n") << result.err;
}

// A field of /proc/PID/status ("PPid", "SigBlk", "SigIgn"), as text.
std::string statusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", field.size() + 1));
    return "";
}

bool signalIn(pid_t pid, const std::string& maskField, int signal)
{
    return (std::stoull(statusField(pid, maskField), nullptr, 16) & (1ull << (signal - 1))) != 0;
}

// The supervisor has begun monitoring with these daemons running.
bool monitoring(const sim::SimBoard& board, const std::vector<std::string>& daemons)
{
    return traced(board, "RUN# 20001 InitMMBProcessMGR::checkdualprocess") &&
           std::all_of(daemons.begin(), daemons.end(), [&](const std::string& name) { return daemonPid(board, name) > 0; });
}

// Runs proc-steps in the background; once it monitors these daemons, calls
// meanwhile with its pid (the first daemon's parent), which must end the
// run, and gives the run's output.
std::string supervise(const sim::SimBoard& board, const std::vector<std::string>& steps,
                      const std::vector<std::string>& daemons, const std::function<void(pid_t)>& meanwhile)
{
    std::string output = board.path("log/proc-steps.out");
    std::vector<std::string> command = {"timeout", "30", "proc-steps"};
    command.insert(command.end(), steps.begin(), steps.end());
    pid_t run = startOnBoard(board, command, output);
    bool ended = false;
    waitUntil([&] { return monitoring(board, daemons) || (ended = waitpid(run, nullptr, WNOHANG) == run); });
    if (!ended) {
        meanwhile(std::stoi(statusField(daemonPid(board, daemons[0]), "PPid")));
        waitpid(run, nullptr, 0);
    }
    return sim::readFile(output);
}

TEST(Supervision, daemon_ready_at_once_neither_kills_nor_stalls_the_start)
{
    // Each start wait opens after the fork: the first meets SIGINT at its
    // default, every later one meets it ignored.
    const int starts = 200;
    std::string table = std::to_string(starts) + "\n";
    for (int i = 0; i < starts; ++i)
        table += "mmbipmid 0 0 7 x y z w 1\n";
    TestBoard board;
    prepare(*board, table, {{"mmbipmid", "ready-at-once"}}, PATIENT);
    ProcessResult result = procSteps(*board, {"activate", "started"}, 240);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "started=" + std::to_string(starts) + "\n") << result.err;
}

// Started by a supervisor that ignores SIGCHLD, the daemons get it at its
// default.
TEST(Supervision, daemons_start_with_the_programs_mask_and_sigint_ignored_after_the_first_wait)
{
    TestBoard board;
    prepare(*board, "3\nalpha 0 0 1 x y\nmmbipmid 0 0 7 x y z w 1\nbeta 0 0 8 x y z w 0\n",
            {{"alpha", "run"}, {"mmbipmid", "ready"}, {"beta", "run"}}, PATIENT);
    const std::vector<std::string> steps = {"ignore-sigchld", "activate", "monitor"};
    std::string out = supervise(*board, steps, {"alpha", "mmbipmid", "beta"}, [&](pid_t) {
        const std::pair<const char*, bool> cases[] = {{"alpha", false}, {"mmbipmid", false}, {"beta", true}};
        for (const auto& [name, ignored] : cases) {
            pid_t pid = daemonPid(*board, name);
            EXPECT_FALSE(signalIn(pid, "SigBlk", SIGINT)) << name;  // mmbipmid was forked with SIGINT held
            EXPECT_EQ(signalIn(pid, "SigIgn", SIGINT), ignored) << name;
            EXPECT_FALSE(signalIn(pid, "SigIgn", SIGCHLD)) << name;
        }
        kill(daemonPid(*board, "alpha"), SIGTERM);
    });
    EXPECT_EQ(out, "thrown kind=3 unit=f0 codes=09 01 02 00 0f 00\n");
}

// A pass waits 120 seconds at real timer speed, longer than the run may
// take: dualprocess's hang-up, as it orders a change, must end the wait.
TEST(Supervision, hang_up_from_dualprocess_ends_the_monitoring_wait)
{
    TestBoard board;
    prepare(*board, "1\ndualprocess 0 0 1 x y\n", {}, "scale 1\n");
    fs::create_symlink(std::string(MMB_BIN_DIR) + "/dualprocess", board->boardPath("/opt/mmb/bin/dualprocess"));
    std::string out = supervise(*board, {"enable", "activate", "set-pid", "monitor"}, {"dualprocess"},
                                [&](pid_t) { kill(daemonPid(*board, "dualprocess"), SIGUSR1); });
    EXPECT_EQ(out, "thrown INACTIVATE\n");
}

// The open descriptors of a process, by number.
std::vector<int> descriptorsOf(pid_t pid)
{
    std::vector<int> numbers;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        numbers.push_back(std::stoi(entry.path().filename().string()));
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// The start-up keeps /dev/cpld open for the watchdog timer from the boot
// ROM bank logic on; a daemon, which may drop to another user, must not
// hold it (nor anything else of the supervisor's): only its standard streams.
TEST(Supervision, daemons_hold_only_their_standard_streams)
{
    TestBoard board;
    prepare(*board, "1\nalpha 0 0 1 x y\n", {{"alpha", "run"}}, PATIENT);
    std::string out = supervise(*board, {"bootrom", "activate", "monitor"}, {"alpha"}, [&](pid_t) {
        EXPECT_EQ(descriptorsOf(daemonPid(*board, "alpha")), (std::vector<int>{0, 1, 2}));
        kill(daemonPid(*board, "alpha"), SIGTERM);
    });
    EXPECT_EQ(out, "thrown kind=3 unit=f0 codes=09 01 02 00 0f 00\n");
}

// The start signals caught ("C") and the web service toggles ("T") since
// monitoring began, in trace order.
std::string catchesAndToggles(const sim::SimBoard& board)
{
    std::vector<std::string> lines = stepTraces(board);
    auto begun = std::find(lines.begin(), lines.end(), "RUN# 20001 InitMMBProcessMGR::checkdualprocess");
    std::string sequence;
    for (auto line = begun; line != lines.end(); ++line) {
        if (line->rfind("DBG# 20001 waitSigHandler 2 ", 0) == 0)
            sequence += 'C';
        else if (line->rfind("DBG# 20001 \"/etc/init.d/lighttpd ", 0) == 0)
            sequence += 'T';
    }
    return sequence;
}

TEST(Supervision, start_signals_while_monitoring_toggle_the_web_service_once_each)
{
    const std::pair<const char*, std::string> cases[] = {
        {"no start wait before", "1\nalpha 0 0 1 x y\n"},
        {"after a start wait", "2\nmmbipmid 0 0 7 x y z w 1\nalpha 0 0 1 x y z w 0\n"},
    };
    for (const auto& [what, table] : cases) {
        TestBoard board({}, std::to_string(&table - &cases[0].second));
        prepare(*board, table, {{"mmbipmid", "ready"}, {"alpha", "run"}}, PATIENT);
        std::string out = supervise(*board, {"services", "activate", "monitor"}, {"alpha"}, [&](pid_t self) {
            pid_t sender = fork();  // sends SIGINT as fast as it can
            while (sender == 0 && kill(self, SIGINT) == 0) {
            }
            if (sender == 0)
                _exit(0);
            waitUntil([&] {
                std::string sequence = catchesAndToggles(*board);
                return std::count(sequence.begin(), sequence.end(), 'T') >= 20 || kill(self, 0) != 0;
            });
            kill(sender, SIGKILL);
            waitpid(sender, nullptr, 0);
            kill(daemonPid(*board, "alpha"), SIGTERM);  // still supervised: its death ends the run
        });
        EXPECT_EQ(out, "thrown kind=3 unit=f0 codes=09 01 02 00 0f 00\n") << what;
        // Each catch toggles before the next; the death may end the pass of the last one.
        std::string sequence = catchesAndToggles(*board);
        EXPECT_TRUE(std::regex_match(sequence, std::regex("(CT)+C?"))) << what << ": " << sequence;
    }
}

TEST(Supervision, hang_up_before_requests_are_enabled_or_from_no_process_orders_nothing)
{
    struct Case {
        const char* what;
        std::vector<std::string> steps;
        std::string behaviour;
        std::string handled;  // the handler's trace, "" when SIGHUP is ignored
    };
    // dualprocess is in no table: its pid is still 0.
    const Case cases[] = {
        {"before requests are enabled", {"standby", "decide", "activate", "enable", "cause", "started"}, "hangup", ""},
        {"from pid 0", {"standby", "decide", "enable", "activate", "cause", "started"}, "hangup 0",
         "DBG# 20001 modeChange_sighandler(enable) 1 0 : 0 0"},
    };
    for (const Case& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        prepare(*board, "1\nmmbipmid 0 0 7 x y z w 1\n", {{"mmbipmid", c.behaviour}}, PATIENT);
        board->setDualSetting("own", "0x00000100");  // a request this Standby board would carry out
        ProcessResult result = procSteps(*board, c.steps);
        EXPECT_EQ(result.status, 0) << c.what;
        EXPECT_EQ(result.out, "started=1\n") << c.what << result.err;
        std::vector<std::string> lines = stepTraces(*board);
        auto hangUps = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("DBG# 20001 modeChange_sighandler", 0) == 0;
        });
        EXPECT_EQ(hangUps, c.handled.empty() ? 0 : 1) << c.what;
        EXPECT_TRUE(c.handled.empty() || traced(*board, c.handled)) << c.what;
    }
}

struct StartFailure {
    const char* what;
    std::string table;  // its daemons live 301 seconds, then exit
    std::vector<std::string> steps;
    size_t starts;
    std::string out;
    std::string trace;
};

// A fork that fails in the start or the restart, and a niceness the child
// cannot take, each end in their own record. Activated again, the manager
// does not read the table again: it starts only what it never tried.
TEST(Supervision, failed_fork_and_nice_end_in_their_records)
{
    const std::string restartable = "1\nalpha 1 0 17 x y\n";
    const StartFailure cases[] = {
        {"fork fails at the start", restartable, {"fail-fork=1", "activate"}, 0,
         "thrown kind=1 unit=f0 codes=09 11 01 00 00 00\n", "RUN# 20011 InitMMBProcessMGR::create: -1"},
        {"fork fails at the restart", restartable, {"fail-fork=2", "activate", "monitor"}, 1,
         "thrown kind=1 unit=f0 codes=09 11 01 00 00 00\n", "RUN# 20001 reboot[1] by alpha down"},
        {"nice fails", "1\nalpha 0 0 17 x y\n", {"fail-nice", "activate", "monitor"}, 0,
         "thrown kind=3 unit=f0 codes=09 11 02 0a 00 00\n", "RUN# 20011 execMmbProc:nice 1"},
        {"activated again after a failed start, and once more",
         "3\nalpha 1 0 17 x y\nbeta 1 0 18 x y\ngamma 1 0 19 x y\n",
         {"fail-fork=2", "activate", "activate", "activate", "started"},
         2, "thrown kind=1 unit=f0 codes=09 12 01 00 00 00\nstarted=1\n", "RUN# 20011 InitMMBProcessMGR::create: -1"},
    };
    for (const StartFailure& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        prepare(*board, c.table, {{"alpha", "live 301 exit 1"}, {"beta", "live 301 exit 1"}, {"gamma", "live 301 exit 1"}});
        ProcessResult result = procSteps(*board, c.steps);
        EXPECT_EQ(result.out, c.out) << c.what << result.err;
        EXPECT_EQ(starts(*board).size(), c.starts) << c.what;
        EXPECT_TRUE(traced(*board, c.trace)) << c.what;
    }
}

// The down-info file, named by the board time of the death: the death's
// line, at most 32 bytes of the load and of the open files' figures, 1000
// of the memory figures, the rest of the 2048 bytes as they were; a new
// file has mode 0640, an older longer one keeps its tail.
TEST(Supervision, down_info_file_keeps_its_limits_and_an_older_tail)
{
    for (bool older : {false, true}) {
        TestBoard board({}, older ? "older" : "new");
        prepare(*board, "1\nalpha 0 0 1 x y\n", {{"alpha", "live 5 exit 1"}});
        std::string path = board->boardPath("/var/mmb/core/core_save/init_downinfo.1005");
        if (older)
            sim::writeFile(path, std::string(3000, 'x'));
        procSteps(*board, {"activate", "monitor"});
        std::string info = sim::readFile(path);
        ASSERT_EQ(info.size(), older ? 3000u : 2048u);
        EXPECT_EQ(info.substr(2048), std::string(info.size() - 2048, 'x'));
        if (!older) {
            EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        }
        std::vector<std::string> lines;
        std::string::size_type memory = info.find("MemTotal:");
        ASSERT_NE(memory, std::string::npos);
        for (std::string::size_type at = 0, end; at < memory; at = end + 1) {
            end = info.find('\n', at);
            lines.push_back(info.substr(at, end - at));
        }
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(process\(alpha:\d+\) down with status\(0100\))"))) << lines[0];
        EXPECT_TRUE(lines[1].size() < 32 && std::count(lines[1].begin(), lines[1].end(), ' ') == 4) << lines[1];
        EXPECT_TRUE(lines[2].size() < 32 && std::count(lines[2].begin(), lines[2].end(), '\t') == 2) << lines[2];
        EXPECT_NE(info[memory + 999], '\0');
        EXPECT_EQ(info.substr(memory + 1000, 2048 - memory - 1000), std::string(2048 - memory - 1000, '\0'));
    }
}

// A thousand deaths and restarts give back what they opened: the
// supervisor ends holding the descriptors it held before the first start.
// With the executable missing each child dies at once; each clock reading
// moves board time 301 seconds on, so each death may be restarted. The
// children die and are reaped in turn: each record is restarted three
// times, then the first one's fourth death ends the run.
TEST(Supervision, deaths_and_restarts_leave_no_descriptor_open)
{
    TestBoard board;
    std::string table = "340\n";
    for (int i = 0; i < 340; ++i)
        table += "ghost 1 0 5 x y\n";
    prepare(*board, table, {});
    board->setClock(1000, 0, 301000000);
    sim::writeFile(board->boardPath("/var/mmb/core/segfault.txt"), "backtrace\n");
    ProcessResult result = procSteps(*board, {"descriptors", "forks-in-turn", "activate", "monitor"}, 240);
    std::string before = result.out.substr(0, result.out.find('\n') + 1);
    EXPECT_EQ(result.out, before + "thrown kind=3 unit=f0 codes=09 05 02 0b 00 00\n" + before) << result.err;
    EXPECT_EQ(files(board->boardPath("/var/mmb/core/core_save")).size(), 340u * 3 + 1 + 1);  // deaths, backtrace
}

// Under a debug prefix the library looks for the core where no daemon
// leaves one; an old work file there is removed first, so it is never
// taken for the core. The down-info file keeps its plain path.
TEST(Supervision, stale_core_work_is_removed_and_a_missing_core_is_traced)
{
    TestBoard board;
    prepare(*board, "1\nalpha 2 0 17 x y\n", {{"alpha", "live 10 crash"}});
    fs::create_directories(board->boardPath("/tmp/debug/var/mmb/core/core_save"));
    fs::create_directories(board->boardPath("/tmp/debug/mnt/dump"));
    for (const char* folder : {"/etc", "/opt", "/tmp", "/var/mmb/log"})
        fs::create_directory_symlink(folder, board->boardPath("/tmp/debug") + folder);
    sim::writeFile(board->boardPath("/tmp/debug/var/mmb/core/core_work"), "stale\n");
    ProcessResult result = shellOnBoard(*board, "MMB_DEBUG_PATH=/tmp/debug timeout 30 proc-steps activate monitor");
    EXPECT_EQ(result.out, "thrown kind=3 unit=f0 codes=09 11 02 00 8b 00\n") << result.err;
    EXPECT_TRUE(traced(*board, "RUN# 20002 Save coredump(coredump is none)"));
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/debug/var/mmb/core/core_work")));
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/debug/mnt/dump/core.alpha.gz")));
    EXPECT_EQ(files(board->boardPath("/var/mmb/core/core_save")), std::vector<std::string>{"init_downinfo.1010"});
    EXPECT_TRUE(files(board->boardPath("/tmp/debug/var/mmb/core/core_save")).empty());
}

} // namespace
