// mmb-decode on a board's tree made on a simulated board: every file at its
// board path decoded, and the health verdict of board states.
#include "DecodeTesting.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
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
    board->setClock(1593835520, 0, 0);
    sim::writeFile(board->path("hw/timers"), "scale 1000\n");
    fs::create_directories(board->path("hw/daemons"));
    fs::create_symlink(std::string(MMB_BIN_DIR) + "/mmb-daemon", board->boardPath("/opt/mmb/bin/alpha"));
    sim::writeFile(board->path("hw/daemons/alpha"), "live 10 crash\n");
    sim::writeFile(board->boardPath("/etc/mmb/init/pro_file.ctl"), "1\nalpha 2 0 17 x y\n");
    sim::writeFile(board->boardPath("/var/mmb/core/segfault.txt"), "#0 0x10001000 in main ()\n");
    ProcessResult run = runOnBoard(*board, {"timeout", "30", "proc-steps", "activate", "monitor"});
    ASSERT_EQ(run.out, "thrown kind=3 unit=f0 codes=09 11 02 00 8b 00\n") << run.err;

    std::string tree = boardTree(*board);
    fs::remove(tree + "/tmp/core");  // where the host's kernel may drop the daemon's core
    ProcessResult result = runDecode({tree + "/"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string downLog = "  downLog:\n"
                                "    time         = 1970-01-01 00:00:00.000 UTC\n"
                                "    seconds      = 0\n"
                                "    microseconds = 0\n"
                                "    kind         = 0\n"
                                "    unitCode     = 0x00 (unknown)\n"
                                "    reporter     = unknown\n"
                                "    code         = 00 00 00 00 00 00\n";
    const std::vector<std::string> expected = {
        tree + "/dev/mram0: NVRAM partition 0\n"
               "  size           = 4096\n"
               "  firmUpMode     = 0x00 (none)\n"
               "  currentHcpNo   = 0\n"
               "  nextHcpNo      = 1\n"
               "  currentBootRom = 0\n"
               "  nextBootRom    = 0\n"
               "  bootRomChange  = 0x00\n"
               "  firmChange     = 0\n"
               "  partStatus     = HCP 0 normal, HCP 1 normal\n"
               "  spare          = 0x00\n"
               "  currentHcpRev  = V01L02\n"
               "  nextHcpRev     = V01L01\n"
               "  rebootCount    = 0\n"
               "  suppressMode   = 0\n"
               "  downLogFlag    = 0\n" +
            downLog +
            "  logCount       = 0\n"
            "  vlanMode       = 0\n"
            "  identification = valid",
        tree + "/dev/mram1: NVRAM partition 1\n"
               "  size = 4096 (its content is not interpreted)",
        tree + "/dev/mram2: NVRAM partition 2\n"
               "  size = 4096 (its content is not interpreted)",
        tree + "/dev/mram3: NVRAM partition 3 (NOR NVRAM)\n"
               "  size     = 4096\n"
               "  norWord0 = 0x0000\n"
               "  norWord1 = 0x0000",
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

} // namespace
