// A local user of the board, and corrupted NVRAM bytes, firmware images or
// pid files, against the root programs: each attack is planted on a
// simulated board as the user nobody would (in the board's sticky /tmp,
// kernel link protection off as it is by default), or prepared as root where
// only root could write it, then root runs what it always runs. The attack
// must be refused or harmless.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

// A root-only file that no attack may change or reveal.
const char* const VICTIM = "/var/mmb/secret";
const char* const VICTIM_TEXT = "root only\n";
// A marker whose mere presence disables the standby flash copy.
const char* const COPY_INHIBIT = "/var/mmb/fmem/INH_MMBFSYNC";

using Board = const sim::SimBoard&;

struct Attack {
    const char* name;
    std::function<void(Board)> prepare;  // as root, before the plant
    const char* plant;                   // shell run as nobody
    const char* run;                     // shell run as root
    std::function<void(Board, const ProcessResult&)> refused;
};

void nothing(Board) {}

bool exists(Board board, const char* path)
{
    return fs::symlink_status(board.boardPath(path)).type() != fs::file_type::not_found;
}

void expectVictimIntact(Board board, const ProcessResult&)
{
    EXPECT_EQ(sim::readFile(board.boardPath(VICTIM)), VICTIM_TEXT);
}

void expectCopyNotInhibited(Board board, const ProcessResult&)
{
    EXPECT_FALSE(exists(board, COPY_INHIBIT));
}

// A board at the first start of an update (APPLYING, but for the two
// numbers), with the victim file.
std::function<void(Board)> applying(uint8_t nextHcpNo = 1, uint8_t currentBootRom = 0)
{
    return [=](Board board) {
        Header header = APPLYING;
        header.nextHcpNo = nextHcpNo;
        header.currentBootRom = currentBootRom;
        prepareApplying(board, header);
        sim::writeFile(board.boardPath(VICTIM), VICTIM_TEXT);
        fs::permissions(board.boardPath(VICTIM), fs::perms::owner_read | fs::perms::owner_write);
    };
}

// A board whose next HCP byte was corrupted to nextHcpNo, running fs<running>;
// a file only the running file system holds.
std::function<void(Board)> corruptedNextHcp(uint8_t nextHcpNo, int running)
{
    return [=](Board board) {
        applying(nextHcpNo)(board);
        linkRunningHcp(board, running);
        sim::writeFile(board.path("hcp" + std::to_string(running) + "/opt/mmb/only-here"), "running firmware\n");
    };
}

void expectRunningFirmwareUntouched(Board board, const ProcessResult& result, int nextHcpNo, int running)
{
    EXPECT_EQ(result.out.rfind("norCopyError=0 nandCopyError=1", 0), 0u) << result.out;
    EXPECT_EQ(board.events(), std::vector<std::string>{"flash_eraseall /dev/mtd1"});  // the NOR copy only
    EXPECT_EQ(sim::readFile(board.path("hcp" + std::to_string(running) + "/opt/mmb/only-here")), "running firmware\n");
    std::vector<std::string> lines = stepTraces(board);
    EXPECT_EQ(lines.back(), "RUN# 20003 Standby NAND Flash refused: next hcp " + std::to_string(nextHcpNo) +
                                ", running hcp " + std::to_string(running));
}

// The active NOR flash differs from the package: every compare must fail.
void norDiffersFromPackage(Board board)
{
    applying()(board);
    board.writeFirmwarePackage("package image");
}

// Rounds of the NOR compare in one process, each from a /tmp without root's
// work files, counted by result ("    300 compare=0"); then the attacker stops.
std::string compareRounds(int rounds)
{
    std::string steps;
    for (int i = 0; i < rounds; ++i)
        steps += " forget-work-files compare";
    return "firm-steps" + steps + " | grep compare= | sort | uniq -c; touch /tmp/stop";
}
// Before the guard 11 of 300 and 21 of 500 rounds lost the race (about 4 %):
// 300 rounds find it but for a chance near 10^-5.
constexpr int RACE_ROUNDS = 300;
const std::string RACE_RUN = compareRounds(RACE_ROUNDS);

// A process table line whose module name holds tabs: split at them, the
// core file command "mv -f /var/mmb/core/core.NAME* work" would move the log
// folder into the core folder when run from /var/mmb.
const char* const TABBED_NAME = "x\tlog\t-t\tcore";

// The trace socket's folder is left writable by all; a listener of nobody's
// takes the socket's name and stops after the first line it receives.
const char* const LISTENER =
    "mmb-trace-service 1 > /tmp/heard 2>&1 & other-steps await=/var/mmb/sock/ipcsock04";

void socketFolderOpen(Board board)
{
    fs::permissions(board.boardPath("/var/mmb/sock"), fs::perms::all);
}

void expectNothingHeard(Board board, const ProcessResult&)
{
    std::string heard;
    // The listener answers the closing datagram, or the first trace line before it.
    waitUntil([&] { return (heard = sim::readFile(board.boardPath("/tmp/heard"))).find('\n') != std::string::npos; });
    EXPECT_NE(heard.find("END"), std::string::npos) << heard;
}

// dualprocess has gone, so the start-up log is copied to the dump; an
// earlier dump is there.
void deadDualprocess(Board board)
{
    applying()(board);
    sim::writeFile(board.boardPath("/var/run/dualprocess.pid"), "99999999\n");  // above any pid: dead
    sim::writeFile(board.boardPath("/mnt/dump/dualdown_reboot.log"), "earlier dump\n");
}

void expectDumpKept(Board board, const ProcessResult& result)
{
    EXPECT_EQ(result.out, "thrown kind=3 unit=f0 codes=09 00 00 00 00 00\n");
    EXPECT_EQ(sim::readFile(board.boardPath("/mnt/dump/dualdown_reboot.log")), "earlier dump\n");
    EXPECT_EQ(stepTraces(board).back(), "RUN# 20011 open(/tmp/mmbinit.log) refused");
}

// A firmware image whose version.dat the command given makes, in the
// standby file system's folder.
std::function<void(Board)> standbyRevisionFile(const std::string& command)
{
    return [=](Board board) {
        std::string file = board.path("hcp1/opt/mmb/version.dat");
        fs::remove(file);
        ASSERT_EQ(system((command + " " + file).c_str()), 0);
    };
}

void expectRevisionRefused(Board board, const ProcessResult& result)
{
    EXPECT_EQ(result.out, "FMEM#0 hcp rev   = V01L02\nFMEM#1 hcp rev   = \n");
    EXPECT_FALSE(exists(board, "/tmp/nvrwork"));
    EXPECT_EQ(board.mounts().size(), 2u);  // the firmware is not left mounted on the work path
}

// The largest resident size any finished child of this test reached.
long largestChildKilobytes()
{
    rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

const Attack ATTACKS[] = {
    {"nor_compare_files_linked_to_a_root_file", applying(),
     "ln -s /var/mmb/secret /tmp/nor0; ln -s /var/mmb/secret /tmp/worknor", "firm-steps copyFirm",
     [](Board board, const ProcessResult& result) {
         expectVictimIntact(board, result);
         EXPECT_EQ(result.out.rfind("norCopyError=0 nandCopyError=0", 0), 0u) << result.out;
         EXPECT_EQ(board.norImage("mtd1"), board.norImage("mtd0"));
     }},
    {"nor_compare_fed_through_a_fifo_raced_into_its_name", norDiffersFromPackage,
     "printf 'package image' > /tmp/fed; fifo-feeder /tmp/nor0 /tmp/fed /tmp/stop > /dev/null 2>&1 & "
     "other-steps await=/tmp/nor0",
     RACE_RUN.c_str(),
     [](Board, const ProcessResult& result) {
         EXPECT_EQ(result.out, "    " + std::to_string(RACE_ROUNDS) + " compare=0\n");
     }},
    // The board's /tmp lies on the host's disk: a file size limit stands in
    // for the full /tmp, cutting both work files short at the same length.
    {"work_files_cut_short_by_a_full_tmp", applying(), "", "ulimit -f 64; firm-steps copyFirm",
     [](Board board, const ProcessResult& result) {
         EXPECT_EQ(result.out.rfind("norCopyError=3 nandCopyError=0", 0), 0u) << result.out;
         EXPECT_TRUE(board.events().empty());  // the standby NOR flash not erased
         EXPECT_FALSE(exists(board, "/tmp/nor0"));  // unfilled work files are not kept
         EXPECT_FALSE(exists(board, "/tmp/worknor"));
     }},
    {"local_trace_file_linked_to_a_root_file", applying(), "ln -s /var/mmb/secret /tmp/trace.log",
     "other-steps checkdualprocess", expectVictimIntact},
    {"local_trace_file_a_fifo", nothing, "mkfifo -m 666 /tmp/trace.log", "timeout 30 other-steps checkdualprocess",
     [](Board, const ProcessResult& result) { EXPECT_EQ(result.out, "checkdualprocess=0\n"); }},
    {"start_up_log_copy_linked_to_a_root_file", deadDualprocess, "ln -s /var/mmb/secret /tmp/mmbinit.log",
     "other-steps checkdualprocess", expectDumpKept},
    {"start_up_log_copy_a_fifo", deadDualprocess, "mkfifo -m 666 /tmp/mmbinit.log",
     "timeout 30 other-steps checkdualprocess", expectDumpKept},
    {"start_up_log_copy_a_file_of_another_user", deadDualprocess, "echo forged > /tmp/mmbinit.log",
     "other-steps checkdualprocess", expectDumpKept},
    {"dualprocess_pid_file_corrupted", deadDualprocess, "", "echo -1 > /var/run/dualprocess.pid; other-steps checkdualprocess",
     [](Board board, const ProcessResult& result) {
         EXPECT_EQ(result.out, "checkdualprocess=1\n");
         EXPECT_EQ(stepTraces(board).back(),
                   "RUN# 20003 read(/var/run/dualprocess.pid) failed errno=" + std::to_string(EINVAL));
     }},
    {"error_record_file_linked_to_a_root_file", applying(), "ln -s /var/mmb/secret /tmp/initlog",
     "other-steps putErrorLog", expectVictimIntact},
    {"error_record_file_of_another_user", applying(), "echo forged > /tmp/initlog; chmod 666 /tmp/initlog",
     "other-steps putErrorLog",
     [](Board board, const ProcessResult&) {
         EXPECT_EQ(sim::readFile(board.boardPath("/tmp/initlog")), "forged\n");
         EXPECT_EQ(stepTraces(board),
                   std::vector<std::string>({"RUN# 20011 open(/tmp/initlog) refused"}));
     }},
    {"boot_cause_marker_a_folder_of_another_user", nothing, "mkdir -p /tmp/MMB_REBOOT_HBL/in-use",
     "other-steps initialize",
     [](Board board, const ProcessResult&) {
         std::vector<std::string> lines = stepTraces(board);
         ASSERT_GE(lines.size(), 3u);
         EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 3),
                   std::vector<std::string>({"DBG# 20001 \"touch /tmp/MMB_REBOOT_HBL 2>/dev/null \"",
                                             "RUN# 20011 claim(/tmp/MMB_REBOOT_HBL) failed errno=" +
                                                 std::to_string(ENOTEMPTY)}));
     }},
    {"boot_cause_marker_linked_to_the_copy_inhibit_marker", nothing,
     "ln -s /var/mmb/fmem/INH_MMBFSYNC /tmp/MMB_REBOOT_HBL", "nvram -d",
     [](Board board, const ProcessResult& result) {
              expectCopyNotInhibited(board, result);
         EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(board.boardPath("/tmp/MMB_REBOOT_HBL"))));
     }},
    {"update_marker_linked_to_the_copy_inhibit_marker", applying(),
     "ln -s /var/mmb/fmem/INH_MMBFSYNC /tmp/firmup_reboot", "firm-steps copyFirm", expectCopyNotInhibited},
    {"peer_failure_marker_linked_to_the_copy_inhibit_marker",
     [](Board board) {
         board.setDualSetting("other", "0x00010000");  // the other board is in error
         sim::writeFile(board.boardPath("/var/mmb/fmem/GET_OTHER_MMB_FAIL"), "");
     },
     "ln -s /var/mmb/fmem/INH_MMBFSYNC /tmp/OtherMMBFail", "other-steps receiveFile=/tmp/setup,4,sync",
     [](Board board, const ProcessResult& result) {
         EXPECT_EQ(result.out, "receiveFile=-1\n");
         expectCopyNotInhibited(board, result);
     }},
    {"revision_work_folder_linked_elsewhere", nothing, "mkdir /tmp/mine; ln -s /tmp/mine /tmp/nvrwork", "nvram -p",
     [](Board board, const ProcessResult& result) {
              EXPECT_EQ(result.out, "FMEM#0 hcp rev   = V01L02\nFMEM#1 hcp rev   = V01L01\n");
         EXPECT_FALSE(exists(board, "/tmp/nvrwork"));
     }},
    {"standby_revision_file_a_fifo", standbyRevisionFile("mkfifo"), "", "timeout 30 nvram -p", expectRevisionRefused},
    {"standby_revision_file_linked_to_an_endless_device", standbyRevisionFile("ln -s /dev/zero"), "", "nvram -p",
     [](Board board, const ProcessResult& result) {
         expectRevisionRefused(board, result);
         EXPECT_LT(largestChildKilobytes(), 64 * 1024);  // read for ever, it took half a gigabyte and more
     }},
    {"next_hcp_number_out_of_range", corruptedNextHcp(2, 1), "",
     "mkdir /var/mmb/here && touch /var/mmb/here/caller-file && cd /var/mmb/here && firm-steps copyFirm",
     [](Board board, const ProcessResult& result) {
         expectRunningFirmwareUntouched(board, result, 2, 1);
         EXPECT_FALSE(fs::exists(board.path("hcp1/caller-file")));
     }},
    {"next_hcp_number_naming_the_partition_not_running", corruptedNextHcp(0, 1), "", "firm-steps copyFirm",
     [](Board board, const ProcessResult& result) { expectRunningFirmwareUntouched(board, result, 0, 1); }},
    {"next_hcp_number_out_of_range_never_committed", corruptedNextHcp(2, 1), "", "firm-steps setFirmUpInfo",
     [](Board board, const ProcessResult&) {
         const Header committed = {0, 1, 1, 1, 1, 0, 0, 0, 0, "V01L01", "V01L01"};  // running fs1's revision
         EXPECT_EQ(nvramBytes(board, 0, 32), committed.bytes());
     }},
    {"current_boot_bank_out_of_range", applying(1, 5), "", "firm-steps setFirmUpRecovery",
     [](Board board, const ProcessResult&) {
         EXPECT_EQ(board.eepromBootBank(), 0);
         EXPECT_EQ(errorLogCodes(board), std::vector<Bytes>({{2, 0xF0, 4, 5, 0, 0, 0, 0}}));
     }},
    {"debug_path_with_a_command", nothing, "",
     "export MMB_DEBUG_PATH='/x;id>/tmp/INJECTED;:'; net-steps initialize start && other-steps checkdualprocess",
     [](Board board, const ProcessResult&) {
              EXPECT_FALSE(exists(board, "/tmp/INJECTED"));
         EXPECT_EQ(sim::readFile(board.boardPath("/etc/sysconfig/mmbid")), "MMBID=0\nMMBMODE=A\n");
         EXPECT_EQ(stepTraces(board).at(0),
                   "RUN# 20003 MMB_DEBUG_PATH ignored: shell metacharacters");
     }},
    {"module_name_leaving_the_executable_folder",
     [](Board board) {
         sim::writeFile(board.boardPath("/etc/mmb/init/evil.ctl"), "1\n../../../tmp/evil 0 0 1 a b\n");
     },
     "printf '#!/bin/sh\\nid -u > /tmp/evil.ran\\n' > /tmp/evil; chmod 755 /tmp/evil",
     "proc-steps table=1,/etc/mmb/init/evil.ctl",
     [](Board board, const ProcessResult& result) {
         EXPECT_EQ(result.out, "thrown kind=1 unit=f0 codes=1c 04 00 00 00 00\n");
         EXPECT_FALSE(exists(board, "/tmp/evil.ran"));
     }},
    {"module_name_with_tabs_splitting_a_command",
     [](Board board) {
         sim::writeFile(board.boardPath("/etc/mmb/init/tabbed.ctl"), std::string("1\n") + TABBED_NAME + " 0 0 1 a b\n");
         fs::create_symlink(std::string(MMB_BIN_DIR) + "/mmb-daemon", board.boardPath("/opt/mmb/bin/") + TABBED_NAME);
         fs::create_directories(board.path("hw/daemons"));
         sim::writeFile(board.path("hw/daemons/") + TABBED_NAME, "crash\n");
     },
     "", "cd /var/mmb && proc-steps table=1,/etc/mmb/init/tabbed.ctl",
     [](Board board, const ProcessResult& result) {
         EXPECT_EQ(result.out, "thrown kind=1 unit=f0 codes=1c 04 00 00 00 00\n");
         EXPECT_TRUE(fs::is_directory(board.boardPath("/var/mmb/log/init")));
     }},
    {"trace_socket_bound_by_another_user", socketFolderOpen, LISTENER,
     "other-steps traceId=300 checkdualprocess; logger -d -u /var/mmb/sock/ipcsock04 END || true", expectNothingHeard},
    {"traced_integer_beyond_64_kib", nothing, "", "other-steps command=70000",
     [](Board board, const ProcessResult&) {
              EXPECT_EQ(stepTraces(board),
                   std::vector<std::string>({"RUN# 20011 command too long 70000"}));
     }},
};

void PrintTo(const Attack& attack, std::ostream* out)
{
    *out << attack.name;
}

class Attacks : public testing::TestWithParam<Attack> {};

TEST_P(Attacks, are_refused_or_harmless)
{
    const Attack& attack = GetParam();
    TestBoard board;
    attack.prepare(*board);
    if (*attack.plant != '\0') {
        ProcessResult planted = shellOnBoard(*board, attack.plant, "nobody");
        ASSERT_EQ(planted.status, 0) << planted.err;
    }
    ProcessResult result = shellOnBoard(*board, attack.run);
    EXPECT_EQ(result.status, 0) << result.err;
    attack.refused(*board, result);
}

INSTANTIATE_TEST_SUITE_P(Hardening, Attacks, testing::ValuesIn(ATTACKS),
                         [](const testing::TestParamInfo<Attack>& row) { return std::string(row.param.name); });

} // namespace
