// mmb-decode on a board's tree made on a simulated board: every file at its
// board path decoded, and the health verdict of board states.
#include "DecodeTesting.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

namespace fs = std::filesystem;

namespace {

const Header STORED = {0, 0, 1, 0, 0, 0, 0, 0, 0, "V01L02", "V01L01"};  // the revision files of a new board

// The output split at its empty lines, a down-info file's pid and the
// host's figures of its text left out.
std::vector<std::string> blocks(const std::string& out)
{
    std::vector<std::string> found;
    for (std::size_t start = 0, end; start < out.size(); start = end + 2) {
        end = out.find("\n\n", start);
        end = end == std::string::npos ? out.size() : end;
        std::string block = out.substr(start, end - start);
        block = std::regex_replace(block, std::regex("pid        = [0-9]+"), "pid        = PID");
        found.push_back(block.substr(0, block.find("\n  text ")));
    }
    return found;
}

TEST(DecodeTree, a_crashed_daemons_board_decodes_file_by_file)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    ProcessResult run = crashDaemon(*board);
    ASSERT_EQ(run.out, "thrown kind=3 unit=f0 codes=09 11 02 00 8b 00\n") << run.err;

    board->patchNvram(3, 0, {0x12, 0x34, 0x56, 0x78});
    std::string tree = boardTree(*board);
    fs::remove(tree + "/tmp/core");  // where the host's kernel may drop the daemon's core
    ProcessResult result = runDecode({tree + "/"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // Partition 0 as the file alone decodes it, field by field (DecodeBoard).
    ProcessResult alone = runDecode({board->path("hw/mram0")});
    std::string partition = tree + "/dev/mram0" + alone.out.substr(alone.out.find(':'));
    const std::vector<std::string> expected = {
        partition.substr(0, partition.size() - 1),
        tree + "/dev/mram1: NVRAM partition 1\n"
               "  size = 4096 (its content is not interpreted)",
        tree + "/dev/mram2: NVRAM partition 2\n"
               "  size = 4096 (its content is not interpreted)",
        tree + "/dev/mram3: NVRAM partition 3 (NOR NVRAM)\n"
               "  size     = 4096\n"
               "  norWord0 = 0x1234\n"
               "  norWord1 = 0x5678",
        tree + "/var/mmb/log/init/1593835530.000: error log record\n"
               "  time         = 2020-07-04 04:05:30.000 UTC\n"
               "  seconds      = 1593835530\n"
               "  microseconds = 0\n"
               "  kind         = 1\n"
               "  unitCode     = 0xF0 (MMB 0)\n"
               "  reporter     = process supervision and the peer process check\n"
               "  code         = 09 11 02 00 8B 00",
        tree + "/var/mmb/core/core_save/bt.alpha.1593835530: crash backtrace\n"
               "  module  = alpha\n"
               "  time    = 2020-07-04 04:05:30 UTC\n"
               "  seconds = 1593835530",
        tree + "/var/mmb/core/core_save/init_downinfo.1593835530: down-info file\n"
               "  time       = 2020-07-04 04:05:30 UTC\n"
               "  seconds    = 1593835530\n"
               "  module     = alpha\n"
               "  pid        = PID\n"
               "  status     = 0x008B (signal 11, core dumped)",
        tree + "/var/mmb/fmem/MMB_REBOOT_HBL_CNT: marker file\n"
               "  meaning = HBL reboot count: a first byte other than 0 makes a start AC-ON\n"
               "  count   = 0",
        tree + "/tmp/trace.log: skipped\n"
               "  reason = no known form at this path",
        tree + "/mnt/dump/core.alpha.gz: skipped\n"
               "  reason = no known form at this path",
        tree + "/etc/mmb/init/pro_file.ctl: skipped\n"
               "  reason = no known form at this path",
        tree + "/mnt/fs0/opt/mmb/version.dat: firmware revision file\n"
               "  revision = V01L02",
        tree + "/mnt/fs1/opt/mmb/version.dat: firmware revision file\n"
               "  revision = V01L01\n",
    };
    EXPECT_EQ(blocks(result.out), expected);
}

constexpr long long T = 1593835520;  // 2020-07-04 04:05:20 UTC
const std::string AT_T = "2020-07-04 04:05:20 UTC";

// A change made to a board's tree, given its folder.
using Change = std::function<void(const std::string&)>;

Change written(const std::string& path, const Bytes& bytes)
{
    return [path, bytes](const std::string& tree) { writeInput(tree + "/" + path, bytes); };
}

Change removed(const std::string& path)
{
    return [path](const std::string& tree) { fs::remove(tree + "/" + path); };
}

// An error log record in the tree, made at seconds with these code bytes.
Change errorLog(long long seconds, const Bytes& code)
{
    return written("var/mmb/log/init/" + std::to_string(seconds) + ".000",
                   errorLogRecord(static_cast<uint32_t>(seconds), 0, code));
}

const Bytes DEATH_REBOOT = {9, 0x11, 2, 0, 0x8B, 0};  // a daemon's death that reboots the board
const Bytes WATCHDOG_START = {0x19, 1, 0, 0, 0, 0};  // started after a watchdog reset

Change downInfo(long long seconds)
{
    return written("var/mmb/core/core_save/init_downinfo." + std::to_string(seconds),
                   downInfoFile("process(alpha:12) down with status(008b)\n"));
}

// Bytes of the tree's partition 0 changed, as by another program.
Change patched(std::size_t offset, const Bytes& bytes)
{
    return [offset, bytes](const std::string& tree) {
        std::fstream partition(tree + "/dev/mram0", std::ios::binary | std::ios::in | std::ios::out);
        partition.seekp(static_cast<std::streamoff>(offset));
        partition.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
}

TEST(DecodeTree, check_gives_the_verdict_and_its_reasons)
{
    const std::string reinitialised = ": the next start or nvram run re-initialises the partition";
    struct CheckCase {
        const char* what;
        std::vector<std::vector<std::string>> commands;  // run on the board
        std::vector<Change> changes;                     // made to its tree
        std::string out;  // after "health: "
        int status;
    } const cases[] = {
        {"healthy", {}, {}, "OK\n", 0},
        {"no partition 0", {}, {removed("dev/mram0")},
         "WARN\nWARN: NVRAM partition 0: not in the tree, its state is unknown\n", 3},
        {"partition cleared", {{"nvram", "-e", "0"}}, {},
         "FAIL\nFAIL: NVRAM partition 0: identification missing" + reinitialised + "\n", 4},
        {"identification damaged", {}, {patched(0x1F2, {'X'})},
         "FAIL\nFAIL: NVRAM partition 0: identification damaged, only the 'M' byte matches" + reinitialised + "\n", 4},
        {"rolled back", {}, {patched(0, {'R'})},
         "WARN\nWARN: firmware update: rolled back ('R'): HCP 0 V01L02 runs on\n", 3},
        {"unknown update mode and status", {}, {patched(0, {'X'}), patched(7, {2})},
         "WARN\nWARN: firmware update: unknown mode 88\nWARN: HCP 0: unknown status 2\n", 3},
        {"down log", {{"firm-steps", "setDownLog"}}, {},
         "WARN\nWARN: down log recorded: " + AT_T +
             ", MMB 0, process supervision and the peer process check, code 09 05 02 00 8B 00\n", 3},
        {"update stuck", {{"nvram", "-a"}}, {},
         "FAIL\nFAIL: firmware update: stuck in 'F': the start that applies it did not finish\n", 4},
        {"rollback recorded", {}, {errorLog(T, {3, 0x10, 0, 0, 0, 0})},
         "WARN\nWARN: firmware update: rolled back at " + AT_T + "\n", 3},
        {"next HCP updating", {{"nvram", "-u", "1", "updating"}}, {},
         "FAIL\nFAIL: HCP 1: marked updating and booted next: its firmware may be half written\n", 4},
        {"current HCP updating", {{"nvram", "-u", "0", "updating"}}, {},
         "WARN\nWARN: HCP 0: marked updating: its firmware may be half written\n", 3},
        {"revision differs", {{"nvram", "-m", "1", "V09L09"}}, {},
         "WARN\nWARN: HCP 1 (next): NVRAM revision 'V09L09' differs from 'V01L01' of mnt/fs1/opt/mmb/version.dat\n", 3},
        {"revision file missing", {}, {removed("mnt/fs1/opt/mmb/version.dat")},
         "WARN\nWARN: HCP 1 (next): no mnt/fs1/opt/mmb/version.dat to compare the NVRAM revision with\n", 3},
        {"two reboots in an hour", {}, {errorLog(T, DEATH_REBOOT), errorLog(T + 3600, DEATH_REBOOT)},
         "WARN\nWARN: reboots: 2 within an hour, from " + AT_T + " to 2020-07-04 05:05:20 UTC\n", 3},
        {"three reboots in an hour", {},
         {errorLog(T, DEATH_REBOOT), errorLog(T + 1000, WATCHDOG_START), errorLog(T + 3600, DEATH_REBOOT)},
         "FAIL\nFAIL: reboots: 3 within an hour, from " + AT_T + " to 2020-07-04 05:05:20 UTC\n", 4},
        {"reboots over an hour apart", {}, {errorLog(T, DEATH_REBOOT), errorLog(T + 3601, DEATH_REBOOT)}, "OK\n", 0},
        {"one reboot told twice", {}, {errorLog(T, DEATH_REBOOT), errorLog(T + 60, WATCHDOG_START)}, "OK\n", 0},
        {"daemon dying young", {}, {downInfo(T), downInfo(T + 300)},
         "WARN\nWARN: daemon alpha: died 2 times, 1 within 300 seconds of the death before (the last at "
         "2020-07-04 04:10:20 UTC, signal 11, core dumped)\n", 3},
        {"daemon living its time", {}, {downInfo(T), downInfo(T + 301)}, "OK\n", 0},
        {"start-up record cut", {}, {written("tmp/initlog", Bytes(3))},
         "WARN\nWARN: tmp/initlog: wrong size for start-up record: 3 bytes (expected 380)\n", 3},
        {"failure and warning", {{"nvram", "-u", "1", "updating"}, {"nvram", "-m", "0", "V09L09"}}, {},
         "FAIL\nFAIL: HCP 1: marked updating and booted next: its firmware may be half written\n"
         "WARN: HCP 0 (current): NVRAM revision 'V09L09' differs from 'V01L02' of mnt/fs0/opt/mmb/version.dat\n", 4},
    };
    for (const CheckCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->setClock(T, 0, 0);
        for (const std::vector<std::string>& command : c.commands)
            ASSERT_EQ(runOnBoard(*board, command).status, 0) << c.what;
        std::string tree = boardTree(*board);
        for (const auto& change : c.changes)
            change(tree);
        ProcessResult result = runDecode({"--check", tree});
        EXPECT_EQ(result.out, "health: " + c.out) << c.what;
        EXPECT_EQ(result.err, "") << c.what;
        EXPECT_EQ(result.status, c.status) << c.what;
    }
}

TEST(DecodeTree, check_reads_only_a_tree_and_speaks_json_too)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    ASSERT_EQ(runNvram(*board, {"-u", "1", "updating"}).status, 0);
    std::string tree = boardTree(*board);
    ProcessResult result = runDecode({"--json", "--check", tree});
    EXPECT_EQ(result.out, "{\"health\":\"FAIL\",\"reasons\":[{\"level\":\"FAIL\",\"reason\":\"HCP 1: marked updating "
                          "and booted next: its firmware may be half written\"}]}\n");
    EXPECT_EQ(result.status, 4);

    result = runDecode({"--form", "partition", tree});
    EXPECT_EQ(result.err,
              "mmb-decode: " + tree + ": a board's tree: each file's form is told from its path, not given\n");
    EXPECT_EQ(result.status, 1);

    // dev alone makes a tree: a board's partitions collected and nothing else
    fs::remove_all(tree + "/tmp"), fs::remove_all(tree + "/var"), fs::remove_all(tree + "/etc");
    fs::remove_all(tree + "/mnt");
    result = runDecode({"--check", tree});
    EXPECT_EQ(result.out, "health: FAIL\n"
                          "FAIL: HCP 1: marked updating and booted next: its firmware may be half written\n"
                          "WARN: HCP 0 (current): no mnt/fs0/opt/mmb/version.dat to compare the NVRAM revision with\n"
                          "WARN: HCP 1 (next): no mnt/fs1/opt/mmb/version.dat to compare the NVRAM revision with\n");
    EXPECT_EQ(result.status, 4);

    for (const std::string& notTree : {tree + "/dev/mram0", tree + "/dev"}) {
        result = runDecode({"--check", notTree});
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err,
                  "mmb-decode: " + notTree + ": not a board's tree: it holds none of dev, var, tmp, mnt and etc\n");
        EXPECT_EQ(result.status, 1);
    }
}

} // namespace
