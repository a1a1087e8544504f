// The reference start-up program on a pair of simulated boards records its
// start and an ordered mode change in the board history, keeps its trace
// and writes its start-up record for the other board; mmb-decode reads the
// history back.
#include "BoardLogs.h"
#include "DecodeTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>

namespace {

const std::string READY = "dualprocess request 0x80020021 data 80020021";

bool reported(const sim::SimBoard& board, const std::string& event)
{
    std::vector<std::string> events = board.events();
    return std::find(events.begin(), events.end(), event) != events.end();
}

// A record's line without its time, which is the board's clock.
std::string withoutTime(const std::string& line)
{
    return line.substr(line.find(" UTC ") + 5);
}

TEST(DecodeHistory, reference_program_records_its_start_and_a_mode_change_keeps_its_trace_and_startup_record)
{
    TestBoard a({}, "-A");
    TestBoard b({1, 0}, "-B");
    ASSERT_EQ(runSim({"pair", a->directory(), b->directory()}).status, 0);
    std::vector<pid_t> started;
    bool changed = true;
    for (const TestBoard* board : {&a, &b}) {
        started.push_back(startOnBoard(**board, {"mmb-startup"}, (*board)->path("log/startup.out")));
        changed = changed && waitUntil([&] { return reported(**board, READY); });
    }
    // dualprocess orders the swap; A's record follows its change-complete response.
    const std::string history = a->boardPath("/var/mmb/log/history");
    kill(pidFromFile(a->boardPath("/var/run/dualprocess.pid")), SIGUSR1);
    changed = changed && waitUntil([&] { return std::filesystem::file_size(history) == 3 * 48; });
    for (const TestBoard* board : {&a, &b})
        (*board)->stopPrograms();
    for (pid_t pid : started)
        waitpid(pid, nullptr, 0);
    ASSERT_TRUE(changed) << sim::readFile(a->boardPath("/tmp/mmbinit.log"));

    ProcessResult result = runDecode({a->boardPath("/var/mmb/log/history")});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Fields> records = printedRecords(result.out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["records"], "3 (at most 256, the newest kept)");
    EXPECT_EQ(records[0]["skipped"], "0");
    EXPECT_EQ(withoutTime(records[0]["record0"]),
              "start (provisional): MMB 0 Active, AC-ON, HCP 0 \"V01L02\" next HCP 0 \"V01L02\", boot ROM bank 0 next "
              "0, update mode none");
    EXPECT_EQ(withoutTime(records[0]["record1"]),
              "mode (final): MMB 0 Active, AC-ON, HCP 0 \"V01L02\" next HCP 0 \"V01L02\", boot ROM bank 0 next 0, "
              "update mode none");
    EXPECT_EQ(withoutTime(records[0]["record2"]),
              "mode (ordered change): MMB 0 Standby, AC-ON, HCP 0 \"V01L02\" next HCP 0 \"V01L02\", boot ROM bank 0 "
              "next 0, update mode none");

    // The kept trace is this boot's trace up to its last record.
    std::vector<std::string> kept = traceLines(a->boardPath("/var/mmb/log/mmbinit.0.log"));
    std::vector<std::string> trace = traceLines(a->boardPath("/tmp/mmbinit.log"));
    ASSERT_FALSE(kept.empty());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), trace.begin()));
    EXPECT_EQ(sim::readFile(a->boardPath("/tmp/initlog")).size(), 380u);
}

} // namespace
