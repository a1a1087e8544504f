// The timeline of a pair of simulated boards running the reference start-up
// program: B's daemon dies and is restarted, A is rebooted with an update
// whose start fails, B takes over, A rolls the update back and comes back
// Standby, then A's power is cut. Each step runs at a board time set before
// it (the board clocks stand still but for the program's pauses), so every
// line is exact. The boards' bundles are collected and decoded.
#include "DecodeTesting.h"
#include "NvramTesting.h"
#include "RunningPair.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <unistd.h>
#include <sys/wait.h>

namespace {

const std::string CHANGE_COMPLETE = "dualprocess request 0x80020041 data 80020041";
const std::string PEER_UP = "heartbeat peer up";
constexpr long long T = 1800000000;  // 2027-01-15 08:00:00

pid_t daemonPid(const sim::SimBoard& board, const std::string& name)
{
    return pidFromFile(board.boardPath("/var/run/" + name + ".pid"));
}

TEST(TimelinePair, deaths_an_update_rolled_back_a_takeover_and_a_power_cut_line_by_line)
{
    RunningPair pair;
    const sim::SimBoard& a = pair.a();
    const sim::SimBoard& b = pair.b();
    a.setClock(T, 0, 0);
    ASSERT_TRUE(pair.boot(a));
    b.setClock(T + 10, 0, 0);
    ASSERT_TRUE(pair.boot(b) && RunningPair::waitForEvent(b, PEER_UP));

    // Past the 300 seconds a daemon must live to be restarted.
    b.setClock(T + 400, 0, 0);
    pid_t mmbmond = daemonPid(b, "mmbmond");
    kill(mmbmond, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return daemonPid(b, "mmbmond") != mmbmond; })) << RunningPair::logsOf(b);

    // An update whose new firmware's mmbipmid fails: the start asks for a
    // reboot and leaves the update rolled back; meanwhile B takes over.
    ASSERT_EQ(runNvram(a, {"-a"}).status, 0);
    sim::writeFile(a.path("hw/daemons/mmbipmid"), "exit 1\n");
    b.setClock(T + 600, 0, 0);
    ASSERT_TRUE(RunningPair::simOn("reboot", a));
    ASSERT_TRUE(RunningPair::waitForEvent(b, CHANGE_COMPLETE)) << RunningPair::logsOf(b);
    a.setClock(T + 700, 0, 0);
    size_t requests = RunningPair::eventCount(a, "reboot");
    pid_t failing = startOnBoard(a, {"mmb-startup"}, a.path("log/startup.out"));
    ASSERT_TRUE(RunningPair::waitForEvent(a, "reboot", requests + 1)) << RunningPair::logsOf(a);

    // The clock is set once the board's programs are gone: the failing
    // start's grace sleep after its reboot request would move it on.
    sim::writeFile(a.path("hw/daemons/mmbipmid"), "ready\n");
    ASSERT_TRUE(RunningPair::simOn("reboot", a));
    waitpid(failing, nullptr, 0);
    a.setClock(T + 800, 0, 0);
    ASSERT_TRUE(pair.boot(a));
    // The failing start's trace was kept just before it asked for the reboot: it ends with why.
    std::string kept = sim::readFile(a.boardPath("/var/mmb/log/mmbinit.2.log"));
    EXPECT_TRUE(std::regex_match(kept.substr(kept.rfind('\n', kept.size() - 2) + 1),
                                 std::regex(R"(RUN# 20032 InitMMBProcessMGR::Process\(\d+\) down\(sec=1800000700\)\n)")))
        << kept;

    ASSERT_TRUE(RunningPair::simOn("power-cycle", a));
    a.setClock(T + 900, 0, 0);
    ASSERT_TRUE(pair.boot(a));
    std::vector<std::string> bundles;
    for (const sim::SimBoard* board : {&b, &a}) {  // the board given first is not the board told first
        board->stopPrograms();
        ASSERT_EQ(runOnBoard(*board, {"mmb-collect", "-o", "/var/bundle.tar"}).status, 0);
        bundles.push_back(board->boardPath("/var/bundle.tar"));
    }

    ProcessResult result = runDecode({"--timeline", bundles[0], bundles[1]});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string died = "daemon mmbmond died: pid " + std::to_string(mmbmond) + ", signal 9\n";
    EXPECT_EQ(result.out,
              "2027-01-15 08:00:00 MMB 0 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Active (provisional)\n"
              "2027-01-15 08:00:00 MMB 0 role Active (final)\n"
              "2027-01-15 08:00:10 MMB 1 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Standby (provisional)\n"
              "2027-01-15 08:00:10 MMB 1 role Standby (final)\n"
              "2027-01-15 08:00:10 MMB 1 start-up record: update mode at start none, found no down log\n"
              "2027-01-15 08:06:40 MMB 1 " + died +
              "2027-01-15 08:06:40 MMB 1 daemon mmbmond restarted\n"
              "2027-01-15 08:10:00 MMB 1 role Active (ordered change)\n"
              "2027-01-15 08:11:40 MMB 0 boot REBOOT, HCP 0 \"V01L02\", boot ROM bank 0, update mode 'F', firmware "
              "apply requested, Standby (provisional)\n"
              "2027-01-15 08:11:40 MMB 0 NVRAM down log: mmbipmid (process key 2) did not signal its start "
              "[code 09 02 01 FF FF 00]\n"
              "2027-01-15 08:13:20 MMB 0 boot REBOOT, HCP 0 \"V01L02\", boot ROM bank 0, update mode 'R', recovery, "
              "Standby (provisional)\n"
              "2027-01-15 08:13:20 MMB 0 role Standby (final)\n"
              "2027-01-15 08:13:20 MMB 0 error log: firmware update rolled back: HCP 0 \"V01L02\" runs on "
              "[code 03 10 00 00 00 00]\n"
              "2027-01-15 08:15:00 MMB 0 boot AC-ON, HCP 0 \"V01L02\", boot ROM bank 0, Standby (provisional)\n"
              "2027-01-15 08:15:00 MMB 0 role Standby (final)\n"
              "2027-01-15 08:15:00 MMB 0 start-up record: update mode at start none, found the down log of "
              "2027-01-15 08:11:40\n");

    // The page of the same bundles: a row for each of the 16 events.
    const std::string page = b.path("timeline.html");
    result = runDecode({"--html", page, bundles[0], bundles[1]});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
    std::string html = sim::readFile(page);
    std::size_t rows = 0;
    for (std::size_t at = 0; (at = html.find("<tr><td>", at)) != std::string::npos; ++at)
        ++rows;
    EXPECT_EQ(rows, 16u);
    EXPECT_NE(html.find("<td class=\"text\">role Active (ordered change)</td>"), std::string::npos);
}

// What --timeline takes, and what it refuses: a file of the tree that
// cannot be read is named, the others' events still told.
TEST(TimelinePair, takes_one_or_two_trees_and_refuses_the_rest)
{
    TestBoard board;
    const std::string file = writeInput(board->path("notes.txt"), {'h', 'i', '\n'});
    const std::string tree = board->path("tree");
    writeInput(tree + "/tmp/initlog", {1, 2, 3});
    writeInput(tree + "/var/mmb/log/init/1593835520.000", errorLogRecord(1593835520, 0, {0x0E, 0, 0, 0, 0, 0}));
    const std::string manyTrees =
        "mmb-decode: --timeline takes one or two boards' trees, their forms told from their paths\n";
    const std::string good = board->path("good");
    writeInput(good + "/var/mmb/log/init/1593835520.000", errorLogRecord(1593835520, 0, {0x0E, 0, 0, 0, 0, 0}));
    const std::string link = board->path("page-link");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // its first line
        std::string out;
    } const cases[] = {
        {{"--timeline", file, file, file}, 2, manyTrees, ""},
        {{"--html", link, file, file, file}, 2, manyTrees, ""},
        {{"--json", "--html", link, tree}, 2, "mmb-decode: --html writes a page, not JSON\n", ""},
        {{"--html", link, good}, 1, "mmb-decode: " + link + ": Too many levels of symbolic links\n", ""},
        {{"--timeline", "--form", "partition", file}, 2, manyTrees, ""},
        {{"--timeline", "--check", file}, 2,
         "mmb-decode: --check takes one board's tree, its forms told from its paths\n", ""},
        {{"--timeline", file}, 1,
         "mmb-decode: " + file + ": not a board's tree: it holds none of dev, var, tmp, mnt and etc\n", ""},
        {{"--timeline", tree}, 1,
         "mmb-decode: " + tree + "/tmp/initlog: wrong size for start-up record: 3 bytes (expected 380)\n",
         "2020-07-04 04:05:20 MMB 0 error log: fetching the setup from the other board failed [code 0E 00 00 00 00 "
         "00]\n"},
    };
    for (const Case& c : cases) {
        ProcessResult result = runDecode(c.args);
        EXPECT_EQ(result.status, c.status) << c.args[1];
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1), c.err) << c.args[1];
        EXPECT_EQ(result.out, c.out) << c.args[1];
    }
}

} // namespace
