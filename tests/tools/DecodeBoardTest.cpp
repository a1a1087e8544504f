// mmb-decode on what the system stores on simulated boards: partition 0 as
// nvram and the library left it, error log records of failed bank
// selections, the start-up record the peer-board logic writes, the history
// the reference start-up program records on a pair (with its kept trace).
#include "BoardLogs.h"
#include "DecodeTesting.h"
#include "NvramTesting.h"
#include "RunningPair.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace {

const Header STORED = {0, 0, 1, 0, 0, 0, 0, 0, 0, "V01L02", "V01L01"};

// Board clocks the records of these tests are stamped with: today, the
// last second before 2038-01-19 03:14:08 and the first after it, 2040 and
// 2105 (the stored seconds are unsigned 32-bit).
struct BoardClock {
    long long seconds;
    const char* utc;
};
const BoardClock CLOCKS[] = {{1593835520, "2020-07-04 04:05:20"},
                             {2147483647, "2038-01-19 03:14:07"},
                             {2147483648, "2038-01-19 03:14:08"},
                             {2208988800, "2040-01-01 00:00:00"},
                             {4260211200, "2105-01-01 00:00:00"}};
constexpr long long CLOCK_MICROS = 123456;

Fields clockTime(const BoardClock& clock)
{
    return {{"time", std::string(clock.utc) + ".123 UTC"},
            {"seconds", std::to_string(clock.seconds)},
            {"microseconds", std::to_string(CLOCK_MICROS)}};
}

const Fields EMPTY_RECORD = {
    {"time", "1970-01-01 00:00:00.000 UTC"}, {"seconds", "0"}, {"microseconds", "0"}, {"kind", "0"},
    {"unitCode", "0x00 (unknown)"}, {"reporter", "unknown"}, {"code", "00 00 00 00 00 00"}};

const std::string REINITIALISED = ": the next start or nvram run re-initialises the partition";

Fields merged(Fields fields, const Fields& changes, const std::string& prefix = "")
{
    for (const auto& [name, value] : changes)
        fields[prefix + name] = value;
    return fields;
}

// Partition 0 of a board made healthy with STORED.
Fields storedPartition(const std::string& source)
{
    const Fields fields = {
        {"source", source},          {"form", "NVRAM partition 0"},
        {"size", "4096"},            {"firmUpMode", "0x00 (none)"},
        {"currentHcpNo", "0"},       {"nextHcpNo", "1"},
        {"currentBootRom", "0"},     {"nextBootRom", "0"},
        {"bootRomChange", "0x00"},   {"firmChange", "0"},
        {"partStatus", "HCP 0 normal, HCP 1 normal"},
        {"spare", "0x00"},           {"currentHcpRev", "V01L02"},
        {"nextHcpRev", "V01L01"},    {"rebootCount", "0"},
        {"suppressMode", "0"},       {"downLogFlag", "0"},
        {"logCount", "0"},           {"vlanMode", "0"},
        {"identification", "valid"},
    };
    return merged(fields, EMPTY_RECORD, "downLog.");
}

std::vector<Fields> decoded(const std::vector<std::string>& args)
{
    ProcessResult result = runDecode(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return printedRecords(result.out);
}

TEST(DecodeBoard, partition_decodes_as_nvram_and_the_library_left_it)
{
    const Fields downLog = {{"kind", "1"},
                            {"unitCode", "0xF0 (MMB 0)"},
                            {"reporter", "process supervision and the peer process check"},
                            {"code", "09 05 02 00 8B 00"}};
    struct RoundTrip {
        const char* what;
        std::vector<std::pair<std::size_t, Bytes>> patches;  // offsets and bytes stored first, as by another program
        std::vector<std::vector<std::string>> commands;      // then run on the board in order
        Fields changed;                                      // what differs from the stored partition
        bool stamped = false;                                // the down log holds the clock's time
    } const cases[] = {
        {"next hcp", {}, {{"nvram", "-s", "0"}}, {{"nextHcpNo", "0"}}},
        {"revision", {}, {{"nvram", "-m", "1", "V02L00"}}, {{"nextHcpRev", "V02L00"}}},
        {"long revision", {}, {{"nvram", "-m", "0", "ABCDEFGHIJKLMN"}}, {{"currentHcpRev", "ABCDEFGHIJK"}}},
        {"updating", {}, {{"nvram", "-u", "0", "updating"}}, {{"partStatus", "HCP 0 updating, HCP 1 normal"}}},
        {"next bank", {}, {{"nvram", "-b", "1"}}, {{"nextBootRom", "1"}}},
        {"apply", {}, {{"nvram", "-a"}}, {{"firmUpMode", "0x46 ('F', firmware apply requested)"}}},
        {"counters stored by others", {{32, {7, 1}}, {318, {2}}}, {},
         {{"rebootCount", "7"}, {"suppressMode", "1"}, {"vlanMode", "2"}}},
        {"counters reset", {{32, {7, 1}}, {318, {2}}}, {{"nvram", "-r"}}, {{"vlanMode", "2"}}},
        {"log count out of range", {{56, {0, 0, 0, 17}}}, {}, {{"logCount", "17 (out of range 0..16)"}}},
        {"log count kept after a reboot", {{56, {0, 0, 0, 5}}}, {{"nvram", "-r"}}, {{"logCount", "5"}}},
        {"log count dropped after a reboot", {{56, {0, 0, 0, 17}}}, {{"nvram", "-r"}}, {}},
        {"header reset", {{4, {1}}, {0, {'R'}}}, {{"nvram", "-i"}},
         {{"nextHcpNo", "0"}, {"currentHcpRev", ""}, {"nextHcpRev", ""}}},
        {"down log", {}, {{"firm-steps", "setDownLog"}},
         merged({{"downLogFlag", "1 (a down log is recorded)"}}, downLog, "downLog."), true},
        {"partition cleared by its driver", {}, {{"nvram", "-e", "0"}},
         {{"nextHcpNo", "0"},
          {"currentHcpRev", ""},
          {"nextHcpRev", ""},
          {"identification", "missing" + REINITIALISED}}},
    };
    for (const BoardClock& clock : {CLOCKS[0], CLOCKS[4]}) {  // today and 2105
        for (const RoundTrip& c : cases) {
            TestBoard board({}, std::to_string(&c - cases) + "-" + std::to_string(clock.seconds));
            makeHealthy(*board, STORED);
            board->setClock(clock.seconds, CLOCK_MICROS, 0);
            for (const auto& [offset, bytes] : c.patches)
                board->patchNvram(0, offset, bytes);
            for (const std::vector<std::string>& command : c.commands)
                EXPECT_EQ(runOnBoard(*board, command).status, 0) << c.what << " " << clock.utc;
            std::string image = board->path("hw/mram0");
            Fields expected = merged(storedPartition(image), c.changed);
            if (c.stamped)
                expected = merged(expected, clockTime(clock), "downLog.");
            EXPECT_EQ(decoded({image}), std::vector<Fields>{expected}) << c.what << " " << clock.utc;
        }
    }
}

TEST(DecodeBoard, error_records_of_bank_selection_decode_with_their_reporter)
{
    struct ErrorLogCase {
        const char* what;
        int mmbNumber;
        const char* fault;   // armed before the run, or empty
        uint16_t resetType;  // register 0x600 at the run
        const char* bank;    // nvram -b
        Fields record;       // beside its source, form and time
    } const cases[] = {
        {"failed selection", 1, "eeprom-select 2 5", 0x0000, "1",
         {{"kind", "2"}, {"unitCode", "0xF1 (MMB 1)"}, {"reporter", "boot ROM bank selection failure"},
          {"code", "04 01 00 00 00 00"}}},
        {"watchdog error at boot", 0, "", 0x2100, "0",
         {{"kind", "2"}, {"unitCode", "0xF0 (MMB 0)"}, {"reporter", "board started with the watchdog error flag set"},
          {"code", "19 01 00 00 00 00"}}},
    };
    for (const BoardClock& clock : CLOCKS) {
        for (const ErrorLogCase& c : cases) {
            sim::SimBoard::Options options;
            options.mmbNumber = c.mmbNumber;
            TestBoard board(options, std::to_string(&c - cases) + "-" + std::to_string(clock.seconds));
            makeHealthy(*board, STORED);
            board->setReg(0x600, c.resetType);
            board->setClock(clock.seconds, CLOCK_MICROS, 0);
            if (*c.fault != '\0')
                board->addFault(c.fault);
            EXPECT_EQ(runNvram(*board, {"-b", c.bank}).status, 0) << c.what;
            std::string logs = board->boardPath("/var/mmb/log/init");
            Fields expected = merged(clockTime(clock), c.record);
            expected["source"] = logs + "/" + std::to_string(clock.seconds) + ".123";
            expected["form"] = "error log record";
            EXPECT_EQ(decoded({logs}), std::vector<Fields>{expected}) << c.what << " " << clock.utc;
        }
    }
}

TEST(DecodeBoard, startup_record_written_by_put_error_log_decodes_field_by_field)
{
    TestBoard board;
    ASSERT_EQ(runOnBoard(*board, {"other-steps", "putErrorLog"}).status, 0);
    std::string initlog = board->boardPath("/tmp/initlog");
    const Fields fields = {
        {"source", initlog},           {"form", "start-up record"},
        {"flag", "0xA5"},              {"downLogFlag", "1 (a down log is recorded)"},
        {"logCount", "3"},             {"firmUpModeAtStart", "0x00 (none)"},
        {"bootRomChangeResult", "0"},  {"prevFirmChange", "0"},
        {"prevCurrentBootRom", "0"},   {"prevNextBootRom", "0"},
        {"prevCurrentHcpNo", "0"},     {"prevNextHcpNo", "0"},
        {"prevCurrentHcpRev", ""},     {"prevNextHcpRev", "PEER"},
    };
    EXPECT_EQ(decoded({initlog}), std::vector<Fields>{merged(fields, EMPTY_RECORD, "downLog.")});
}

TEST(DecodeBoard, on_the_board_the_partition_is_read_through_its_driver)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    ProcessResult result = runOnBoard(*board, {"mmb-decode", "/dev/mram0"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(printedRecords(result.out), std::vector<Fields>{storedPartition("/dev/mram0")});

    board->spoilNvramChecksum(0);
    result = runOnBoard(*board, {"mmb-decode", "/dev/mram0"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "mmb-decode: /dev/mram0: cannot read: Input/output error\n");
}

// A record's line without its time, which is the board's clock.
std::string withoutTime(const std::string& line)
{
    return line.substr(line.find(" UTC ") + 5);
}

TEST(DecodeBoard, reference_program_on_a_pair_records_its_start_and_a_mode_change_keeps_its_trace_and_startup_record)
{
    RunningPair pair;
    const sim::SimBoard& a = pair.a();
    ASSERT_TRUE(pair.boot(a) && pair.boot(pair.b())) << RunningPair::logsOf(a);
    // dualprocess orders the swap; A's record follows its change-complete response.
    const std::string history = a.boardPath("/var/mmb/log/history");
    kill(pidFromFile(a.boardPath("/var/run/dualprocess.pid")), SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::file_size(history) == 3 * 48; })) << RunningPair::logsOf(a);
    a.stopPrograms();
    pair.b().stopPrograms();

    ProcessResult result = runDecode({history});
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
    std::vector<std::string> kept = traceLines(a.boardPath("/var/mmb/log/mmbinit.0.log"));
    std::vector<std::string> trace = traceLines(a.boardPath("/tmp/mmbinit.log"));
    ASSERT_FALSE(kept.empty());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), trace.begin()));
    EXPECT_EQ(sim::readFile(a.boardPath("/tmp/initlog")).size(), 380u);
}

} // namespace
