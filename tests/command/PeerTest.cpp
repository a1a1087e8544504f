// Messages to the simulated dualprocess and files exchanged with the other
// board, run on simulated boards through other-steps.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* const DEAD_PID = "99999999\n";  // above any pid

// Runs steps with the simulated dualprocess up on the board.
ProcessResult withDualprocess(const sim::SimBoard& board, const std::string& steps)
{
    return shellOnBoard(board, "dualprocess && other-steps " + steps + "; kill $(cat /var/run/dualprocess.pid); " +
                                   "other-steps await-gone=/var/run/dualprocess.pid");
}

// Board seconds the program slept, from the "sleep N" events.
long secondsSlept(const sim::SimBoard& board)
{
    long seconds = 0;
    for (const std::string& event : eventsStartingWith(board, "sleep "))
        seconds += std::stol(event.substr(6));
    return seconds;
}

bool exists(const sim::SimBoard& board, const char* path)
{
    return fs::exists(board.boardPath(path));
}

TEST(Peer, messages_reach_dualprocess_with_code_and_big_endian_data)
{
    TestBoard board;
    ProcessResult result = withDualprocess(*board, "sendReady sendActiveEnd sendChangeCompResp");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(eventsStartingWith(*board, "dualprocess"),
              (std::vector<std::string>{"dualprocess request 0x80020021 data 80020021",
                                        "dualprocess request 0x80020031 data 80020031",
                                        "dualprocess request 0x80020041 data 80020041"}));
    EXPECT_EQ(stepTraces(*board), (std::vector<std::string>{
                                  "DBG# 20001 send ready to dualprocess (0)",
                                  "DBG# 20001 send packet(code=80020021) on IPC",
                                  "DBG# 20001 send response of change-start to dualprocess (0)",
                                  "DBG# 20001 send packet(code=80020031) on IPC",
                                  "DBG# 20001 send response of change-complete to dualprocess (0)",
                                  "DBG# 20001 send packet(code=80020041) on IPC",
                              }));
}

TEST(Peer, failed_connection_is_silent_and_failed_send_is_traced)
{
    TestBoard board;
    ProcessResult result = otherSteps(*board, {"sendReady"});  // no dualprocess listening
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(stepTraces(*board).back(), "DBG# 20001 send packet(code=80020021) on IPC");
    EXPECT_EQ(eventsStartingWith(*board, "ipc"), std::vector<std::string>{"ipc connect service 2 mode 1"});

    board->addFault("ipc-send");
    withDualprocess(*board, "sendActiveEnd");
    EXPECT_EQ(stepTraces(*board).back(), "DBG# 20001 notify change exeption occured(80020031) to dualprocess");
    EXPECT_TRUE(eventsStartingWith(*board, "dualprocess").empty());
}

TEST(Peer, ordered_mode_change_swaps_the_role_and_hangs_up_on_the_supervisor)
{
    TestBoard board;
    ProcessResult result = shellOnBoard(*board,
        "trap 'echo hang-up; kill $dual; exit 0' HUP && "
        "{ dualprocess 1 1 0 & dual=$!; } && other-steps await=/var/run/dualprocess.pid && kill -USR1 $dual && "
        "wait");  // until the hang-up comes
    EXPECT_EQ(result.out, "hang-up\n");
    EXPECT_EQ(board->dualSetting("active"), "0x00000000");  // this single board was Active
    EXPECT_EQ(board->dualSetting("own"), "0x80000000");
    EXPECT_EQ(eventsStartingWith(*board, "dualprocess"),
              (std::vector<std::string>{"dualprocess switch", "dualprocess hangup request"}));
}

// The start-up log is only the copy's source: with none, the copy fails
// and an earlier dump stays as it was.
TEST(Peer, dead_dualprocess_keeps_the_log_and_throws)
{
    for (bool logged : {true, false}) {
        TestBoard board({}, logged ? "logged" : "no-log");
        if (logged)
            sim::writeFile(board->boardPath("/tmp/mmbinit.log"), "start-up log\n");
        sim::writeFile(board->boardPath("/mnt/dump/dualdown_reboot.log"), "earlier dump\n");
        sim::writeFile(board->boardPath("/var/run/dualprocess.pid"), DEAD_PID);
        ProcessResult result = otherSteps(*board, {"checkdualprocess"});
        EXPECT_EQ(result.out, "thrown kind=3 unit=f0 codes=09 00 00 00 00 00\n");
        EXPECT_EQ(sim::readFile(board->boardPath("/mnt/dump/dualdown_reboot.log")),
                  logged ? "start-up log\n" : "earlier dump\n");
        EXPECT_EQ(std::filesystem::exists(board->boardPath("/tmp/mmbinit.log")), logged);  // never made here
        EXPECT_EQ(stepTraces(*board).back(), "RUN# 20002 InitMMBOther::checkdualprocess throw");
    }
}

TEST(Peer, thrown_records_name_the_board)
{
    TestBoard board({1});
    sim::writeFile(board->boardPath("/var/run/dualprocess.pid"), DEAD_PID);
    board->setDualSetting("other", "0");
    ProcessResult result = otherSteps(*board, {"initialize", "checkdualprocess", "receiveFile=/tmp/setup,4,sync"});
    EXPECT_EQ(result.out, "thrown kind=3 unit=f1 codes=09 00 00 00 00 00\n"
                          "thrown kind=1 unit=f1 codes=0e 00 00 00 00 00\n");
}

TEST(Peer, live_dualprocess_passes_the_check)
{
    TestBoard board;
    ProcessResult result = withDualprocess(*board, "checkdualprocess");
    EXPECT_EQ(result.out, "checkdualprocess=0\n");
}

// Two boards of a pair, each knowing the other.
struct Pair {
    TestBoard one{{}, "-one"};
    TestBoard two{{}, "-two"};
    Pair()
    {
        one->setDualSetting("peer", two->directory());
        two->setDualSetting("peer", one->directory());
        one->setClock(1000, 0, 0);
    }
};

struct FetchCase {
    const char* what;
    std::string step;
    bool available;          // the other board holds the file
    const char* otherStatus;
    std::string out;
    std::vector<std::string> requests;
    long sleeps;
    std::string lastTrace;
};

TEST(Peer, fetching_a_file_retries_as_its_mode_says)
{
    const std::string sync = "dual_request_copyFile /tmp/setup 0x4000";
    const std::string async = "dual_request_copyFile /tmp/setup 0x4001";
    const std::string fetched = "DBG# 20001 \"rm -f /var/mmb/fmem/GET_OTHER_MMB_FAIL\"";
    const std::string errorBoard = "RUN# 20003 Cann't get Setup Information from Error MMB(00010000)";
    const FetchCase cases[] = {
        {"sync, there", "receiveFile=/tmp/setup,12,sync", true, "0", "receiveFile=0\n", {sync}, 0, fetched},
        {"sync, timeout 4", "receiveFile=/tmp/setup,4,sync", false, "0x00010000", "receiveFile=-1\n", {}, 0,
         errorBoard},
        {"sync, timeout 12", "receiveFile=/tmp/setup,12,sync", false, "0x00010000", "receiveFile=-1\n",
         {sync, sync}, 10, errorBoard},
        {"async, timeout 5", "receiveFile=/tmp/setup,5,async", false, "0x00010000", "receiveFile=-1\n", {async}, 5,
         errorBoard},
        {"async, timeout 6", "receiveFile=/tmp/setup,6,async", false, "0x00010000", "receiveFile=-1\n",
         {async, async}, 10, errorBoard},
        {"async, there", "receiveFile=/tmp/setup,10,async", true, "0", "receiveFile=0\n", {async}, 2, fetched},
        {"healthy other board", "receiveFile=/tmp/setup,5,sync", false, "0",
         "thrown kind=1 unit=f0 codes=0e 00 00 00 00 00\n", {sync}, 5,
         "DBG# 20001 \"touch /var/mmb/fmem/GET_OTHER_MMB_FAIL\""},
    };
    for (const FetchCase& c : cases) {
        Pair pair;
        if (c.available)
            sim::writeFile(pair.two->boardPath("/tmp/setup"), "setup\n");
        pair.one->setDualSetting("other", c.otherStatus);
        ProcessResult result = otherSteps(*pair.one, {c.step});
        EXPECT_EQ(result.out, c.out) << c.what << result.err;
        EXPECT_EQ(eventsStartingWith(*pair.one, "dual_request"), c.requests) << c.what;
        EXPECT_EQ(secondsSlept(*pair.one), c.sleeps) << c.what;
        EXPECT_EQ(exists(*pair.one, "/tmp/setup"), c.available) << c.what;
        std::vector<std::string> lines = stepTraces(*pair.one);
        EXPECT_EQ(lines.front(), "RUN# 20001 Geting Other MMB File(/tmp/setup)") << c.what;
        EXPECT_EQ(lines.back(), c.lastTrace) << c.what;
    }
    Pair pair;
    pair.one->setDualSetting("other", "0");
    otherSteps(*pair.one, {"receiveFile=/tmp/setup,5,sync"});
    EXPECT_EQ(stepTraces(*pair.one).end()[-2], "RUN# 20003 Geting Setup Information from Active MMB(0)");
}

// The file is looked for where the copy puts it, whatever the debug prefix.
TEST(Peer, asynchronous_file_is_looked_for_at_its_plain_path)
{
    Pair pair;
    sim::writeFile(pair.two->boardPath("/tmp/setup"), "setup\n");
    fs::create_directories(pair.one->boardPath("/tmp/debug/tmp"));
    ProcessResult result = shellOnBoard(*pair.one, "MMB_DEBUG_PATH=/tmp/debug other-steps receiveFile=/tmp/setup,5,async");
    EXPECT_EQ(result.out, "receiveFile=0\n");
}

TEST(Peer, asynchronous_file_arriving_during_a_poll_is_taken)
{
    Pair pair;
    sim::writeFile(pair.two->boardPath("/tmp/setup"), "setup\n");
    pair.one->setDualSetting("copy-delay", "3");
    sim::writeFile(pair.one->boardPath("/var/mmb/fmem/GET_OTHER_MMB_FAIL"), "");
    ProcessResult result = otherSteps(*pair.one, {"receiveFile=/tmp/setup,10,async"});
    EXPECT_EQ(result.out, "receiveFile=0\n");
    EXPECT_EQ(eventsStartingWith(*pair.one, "sleep"), std::vector<std::string>(4, "sleep 1"));
    EXPECT_EQ(sim::readFile(pair.one->boardPath("/tmp/setup")), "setup\n");
    EXPECT_FALSE(exists(*pair.one, "/var/mmb/fmem/GET_OTHER_MMB_FAIL"));
    EXPECT_EQ(stepTraces(*pair.one)[2], "DBG# 20001 asyn-request_copyFile(try=2)");  // after the old copy's removal
}

TEST(Peer, failed_fetch_markers_follow_the_other_boards_state)
{
    struct Case {
        const char* what;
        const char* otherStatus;
        std::vector<const char*> before;
        std::vector<const char*> after;
        std::string out;
    };
    const Case cases[] = {
        {"error, no marker", "0x00010000", {}, {}, "receiveFile=-1\n"},
        {"error, fetch marker", "0x00010000", {"/var/mmb/fmem/GET_OTHER_MMB_FAIL"}, {"/tmp/OtherMMBFail"},
         "receiveFile=-1\n"},
        {"error, panel marker", "0x00010000", {"/var/mmb/fmem/GET_OTHER_PANEL_MMB_FAIL"}, {"/tmp/OtherMMBFail"},
         "receiveFile=-1\n"},
        {"healthy", "0", {}, {"/var/mmb/fmem/GET_OTHER_MMB_FAIL"}, "thrown kind=1 unit=f0 codes=0e 00 00 00 00 00\n"},
    };
    const char* markers[] = {"/var/mmb/fmem/GET_OTHER_MMB_FAIL", "/var/mmb/fmem/GET_OTHER_PANEL_MMB_FAIL",
                             "/tmp/OtherMMBFail"};
    for (const Case& c : cases) {
        Pair pair;
        pair.one->setDualSetting("other", c.otherStatus);
        for (const char* marker : c.before)
            sim::writeFile(pair.one->boardPath(marker), "");
        EXPECT_EQ(otherSteps(*pair.one, {"receiveFile=/tmp/setup,4,sync"}).out, c.out) << c.what;
        for (const char* marker : markers)
            EXPECT_EQ(exists(*pair.one, marker),
                      std::find_if(c.after.begin(), c.after.end(), [&](const char* m) { return std::string(m) == marker; }) !=
                          c.after.end())
                << c.what << " " << marker;
    }
}

TEST(Peer, error_record_put_on_one_board_is_read_whole_on_the_other)
{
    Pair pair;
    sim::writeFile(pair.two->boardPath("/tmp/initlog"), std::string(500, 'x'));  // an older, longer file
    otherSteps(*pair.two, {"putErrorLog"});
    EXPECT_EQ(fs::file_size(pair.two->boardPath("/tmp/initlog")), 380u);
    ProcessResult result = otherSteps(*pair.one, {"getErrorLog"});
    std::string bytes = sim::readFile(pair.two->boardPath("/tmp/initlog"));
    std::string hex = "record ";
    for (unsigned char byte : bytes) {
        char pair_[3];
        snprintf(pair_, sizeof pair_, "%02x", byte);
        hex += pair_;
    }
    EXPECT_EQ(result.out, hex + "\n");
    EXPECT_EQ(bytes.substr(0, 1), "\xA5");
    EXPECT_EQ(bytes.substr(68, 4), std::string("\0\0\0\1", 4));  // big-endian flag
    EXPECT_EQ(eventsStartingWith(*pair.one, "dual"), std::vector<std::string>{"dual_request_copyFile /tmp/initlog 0x0"});

    // A failed copy gives an empty record, whatever an earlier copy left.
    TestBoard alone;
    sim::writeFile(alone->boardPath("/tmp/initlog"), bytes);
    EXPECT_EQ(otherSteps(*alone, {"getErrorLog"}).out, "record " + std::string(760, '0') + "\n");
}

TEST(Peer, sending_a_file_reaches_the_other_board_or_is_traced)
{
    Pair pair;
    sim::writeFile(pair.one->boardPath("/etc/sysconfig/setup"), "mine\n");
    otherSteps(*pair.one, {"sendFile=/etc/sysconfig/setup"});
    EXPECT_EQ(sim::readFile(pair.two->boardPath("/etc/sysconfig/setup")), "mine\n");
    EXPECT_EQ(eventsStartingWith(*pair.one, "dual"), std::vector<std::string>{"dual_copyFile /etc/sysconfig/setup 0x4000"});
    pair.one->setDualSetting("copy-fail", "1");
    otherSteps(*pair.one, {"sendFile=/etc/sysconfig/setup"});
    EXPECT_EQ(stepTraces(*pair.one).back(), "RUN# 20003 Synchronaizing setup inforamtion to Standby MMB");
}

} // namespace
