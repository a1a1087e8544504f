// A firmware update through its first start on a simulated board: the
// standby copies, the records of their outcome, commit and roll-back.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

std::string outcome(int nor, int nand, int bootRomChange = 0, int result = 0, int prevFirmChange = 0)
{
    return "norCopyError=" + std::to_string(nor) + " nandCopyError=" + std::to_string(nand) +
           " bootRomChange=" + std::to_string(bootRomChange) + " bootRomChangeResult=" + std::to_string(result) +
           " prevFirmChange=" + std::to_string(prevFirmChange) + "\n";
}

// A board in its first start after an update was applied, two reboots
// into it; the package holds the boot image the active NOR flash holds and
// the HCP that runs next holds the new firmware.
void prepareUpdate(const sim::SimBoard& board, const Header& header = APPLYING)
{
    prepareApplying(board, header);
    board.patchNvram(0, 32, {2});
    board.setClock(1600000000, 0, 1000);
    sim::writeFile(board.path("hw/mtd1"), std::string(sim::SimBoard::NOR_SIZE, '\x55'));
    std::string next = board.path("hcp" + std::to_string(header.nextHcpNo));
    std::string standby = board.path(header.nextHcpNo == 1 ? "hcp0" : "hcp1");
    sim::writeFile(next + "/opt/mmb/version.dat", "REVISION=V02L00\n");
    fs::create_directories(next + "/opt/mmb/bin");
    sim::writeFile(next + "/opt/mmb/bin/daemon", "new daemon\n");
    sim::writeFile(standby + "/opt/mmb/old", "old firmware only\n");
}

// Files of a tree, relative path to content.
std::map<std::string, std::string> treeOf(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = sim::readFile(entry.path());
    return files;
}

const Bytes BOTH_EXCHANGED = {3, 0xC2, 7, 0, 0, 0, 0, 0};

// The traces of a whole copy, the commands as they ran, from the HCP that
// runs next to the standby one.
std::vector<std::string> copyTraces(int next, int standby)
{
    std::string s = std::to_string(standby);
    return {
        "DBG# 20001 \"touch /tmp/firmup_reboot 2>/dev/null\"",
        "DBG# 20001 \"/bin/cat /dev/mtd0 > /tmp/nor0\"",
        "DBG# 20001 \"/bin/tar xzOf /mnt/hcp/mmbfirm.tgz rom.image.gz | /bin/gzip -dc > /tmp/worknor\"",
        "DBG# 20001 \"/usr/bin/cmp /tmp/nor0 /tmp/worknor > /dev/null\"",
        "DBG# 20001 \"rm /tmp/nor0\"",
        "DBG# 20001 \"rm /tmp/worknor\"",
        "DBG# 20002 Compare Completed for Active NOR",
        "DBG# 20001 Copying Standby NOR Flash",
        "DBG# 20001 \"/usr/sbin/flash_eraseall /dev/mtd1 2>/dev/null\"",
        "DBG# 20001 \"/bin/dd if=/dev/mtd0 of=/dev/mtd1 bs=128k\"",
        "DBG# 20002 Copying Standby NOR Flash",
        "RUN# 20001 Copying Standby NAND Flash",
        "DBG# 20001 \"/bin/umount /mnt/fs" + s + "\"",
        "DBG# 20001 \"/sbin/mkfs.ext3 /dev/sda" + std::to_string(standby + 1) + " 2>/dev/null\"",
        "DBG# 20001 \"/bin/mount -t ext3 /dev/sda" + std::to_string(standby + 1) + " /mnt/fs" + s + "\"",
        "DBG# 20001 \"cd /mnt/fs" + std::to_string(next) + "; /bin/cp -a ./ /mnt/fs" + s + "\"",
        "DBG# 20002 Copying Standby NAND Flash",
    };
}

TEST(FirmUpdate, first_start_copies_the_standby_flashes_and_commits)
{
    // HCP 1 runs next, fs0 is the standby; HCP 0 runs next (or any other number), fs1 is.
    const Header nextHcp0 = {'F', 1, 0, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"};
    for (const Header& applying : {APPLYING, nextHcp0}) {
        int next = applying.nextHcpNo;
        int standby = next == 1 ? 0 : 1;
        std::string fs = "/mnt/fs" + std::to_string(standby);
        std::string sda = "/dev/sda" + std::to_string(standby + 1);
        TestBoard board({}, std::to_string(next));
        prepareUpdate(*board, applying);
        ProcessResult result = firmSteps(*board, {"copyFirm", "setFirmUpInfo"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, outcome(0, 0, 0, 0, 1));

        EXPECT_EQ(board->norImage("mtd1"), board->norImage("mtd0"));
        EXPECT_EQ(treeOf(board->path("hcp" + std::to_string(standby))), treeOf(board->path("hcp" + std::to_string(next))));
        EXPECT_EQ(board->events(), (std::vector<std::string>{"flash_eraseall /dev/mtd1", "umount " + fs,
                                                             "mkfs.ext3 " + sda, "mount -t ext3 " + sda + " " + fs,
                                                             "sync"}));
        std::vector<std::string> expected = copyTraces(next, standby);
        expected.insert(expected.end(), {"RUN# 20002 Exchage of MMB Firmware", "RUN# 20002 Exchange of MMB Boot Program"});
        EXPECT_EQ(stepTraces(*board), expected);
        EXPECT_TRUE(fs::exists(board->boardPath("/tmp/firmup_reboot")));
        EXPECT_FALSE(fs::exists(board->boardPath("/tmp/nor0")));
        EXPECT_FALSE(fs::exists(board->boardPath("/tmp/worknor")));

        // The commit clears the reboot count too.
        Header committed = {0, uint8_t(next), uint8_t(next), 1, 1, 0, 0, 0, 0, "V02L00", "V02L00"};
        Bytes committedBytes = committed.bytes();
        committedBytes.push_back(0);
        EXPECT_EQ(nvramBytes(*board, 0, 33), committedBytes);
        EXPECT_EQ(errorLogCodes(*board), std::vector<Bytes>{BOTH_EXCHANGED});
        // The record file is named by its time stamp, which the board clock fixed.
        std::string record = fs::directory_iterator(board->boardPath("/var/mmb/log/init"))->path().filename();
        EXPECT_EQ(record.substr(0, 11), "1600000000.");
    }
}

// A marker that is not made, by a failing touch or with its name taken by a
// folder in use (then touch never runs), is traced and the copy goes on.
TEST(FirmUpdate, a_marker_not_made_is_traced_and_the_copy_goes_on)
{
    const std::string notMade = "RUN# 20003 Making file:%s /tmp/firmup_reboot";
    const std::string notClaimed = "RUN# 20011 claim(/tmp/firmup_reboot) failed errno=" + std::to_string(ENOTEMPTY);
    for (bool nameTaken : {false, true}) {
        TestBoard board({}, nameTaken ? "taken" : "failing");
        prepareUpdate(*board);
        fs::create_directories(board->boardPath("/tmp/fail"));
        sim::writeFile(board->boardPath("/tmp/fail/touch"), "#!/bin/sh\nexit 1\n");
        fs::permissions(board->boardPath("/tmp/fail/touch"), fs::perms::owner_all);
        if (nameTaken)
            fs::create_directories(board->boardPath("/tmp/firmup_reboot/in-use"));
        ProcessResult result = shellOnBoard(*board, "PATH=/tmp/fail:$PATH firm-steps copyFirm");
        EXPECT_EQ(result.out, outcome(0, 0, 1, 0, 1)) << nameTaken;
        std::vector<std::string> expected = copyTraces(1, 0);
        if (nameTaken)  // the skipped touch keeps its trace; why it was skipped follows
            expected.insert(expected.begin() + 1, {notClaimed, notMade});
        else
            expected.insert(expected.begin() + 1, notMade);
        EXPECT_EQ(stepTraces(*board), expected) << nameTaken;
        EXPECT_EQ(board->norImage("mtd1"), board->norImage("mtd0")) << nameTaken;
    }
}

// The boot bank is selected back only when the boot program was exchanged;
// the record of the roll-back names the board.
TEST(FirmUpdate, roll_back_restores_the_running_firmware_and_bank)
{
    Header firmwareOnly = APPLYING;
    firmwareOnly.bootRomChange = 0;
    const std::tuple<Header, int, int> cases[] = {{APPLYING, 0, 0}, {firmwareOnly, 1, 1}};  // MMB, bank afterwards
    for (const auto& [applying, mmb, bank] : cases) {
        TestBoard board({mmb}, std::to_string(mmb));
        prepareUpdate(*board, applying);
        sim::writeFile(board->path("hw/eeprom"), std::string(1, '\x01'));  // bank 1 was selected for the update
        ProcessResult recovery = firmSteps(*board, {"setFirmUpRecovery"});
        EXPECT_EQ(recovery.status, 0) << recovery.err;
        EXPECT_EQ(board->eepromBootBank(), bank);
        const Header rolledBack = {'R', 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"};
        EXPECT_EQ(nvramBytes(*board, 0, 32), rolledBack.bytes());
        EXPECT_TRUE(errorLogCodes(*board).empty());

        ProcessResult nextStart = firmSteps(*board, {"setFirmUpInfo"});
        EXPECT_EQ(nextStart.status, 0) << nextStart.err;
        const Header committed = {0, 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"};
        EXPECT_EQ(nvramBytes(*board, 0, 32), committed.bytes());
        EXPECT_EQ(errorLogCodes(*board), std::vector<Bytes>{Bytes({1, 0xC2, 3, uint8_t(0x10 | mmb), 0, 0, 0, 0})});
    }
}

struct CopyFailure {
    const char* what;
    void (*arrange)(const sim::SimBoard&);
    int norCopyError;
    int nandCopyError;
    std::string trace;                // the copy's last
    std::vector<std::string> events;  // simulated tool calls
    std::vector<Bytes> records;       // from setFirmUpInfo
    int mmb = 0;                      // records name the board
};

TEST(FirmUpdate, every_copy_failure_stops_there_and_is_recorded)
{
    const std::vector<std::string> norSteps = {"flash_eraseall /dev/mtd1"};
    const std::vector<std::string> upToUmount = {"flash_eraseall /dev/mtd1", "umount /mnt/fs0"};
    const std::vector<std::string> upToFormat = {"flash_eraseall /dev/mtd1", "umount /mnt/fs0", "mkfs.ext3 /dev/sda1"};
    const std::vector<std::string> allSteps = {"flash_eraseall /dev/mtd1", "umount /mnt/fs0", "mkfs.ext3 /dev/sda1",
                                               "mount -t ext3 /dev/sda1 /mnt/fs0"};
    const CopyFailure cases[] = {
        {"copy inhibited", [](const sim::SimBoard& b) { sim::writeFile(b.boardPath("/var/mmb/fmem/INH_MMBFSYNC"), ""); },
         0, 0, "DBG# 20002 Skipping Standby Flash copy", {}, {BOTH_EXCHANGED}},
        {"NOR differs from the package", [](const sim::SimBoard& b) { b.writeFirmwarePackage("other image"); },
         3, 0, "RUN# 20003 NOR bank change Error", {}, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x61, 4, 0, 0, 0}}, 1},
        {"erase fails", [](const sim::SimBoard& b) { b.addFault("tool flash_eraseall 1"); }, 1, 0,
         "RUN# 20003 Erasing of Standby NOR Flash", norSteps, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 2, 0, 0, 0}}},
        {"NOR copy fails", [](const sim::SimBoard& b) { b.addFault("open mtd1 EIO"); }, 2, 0,
         "RUN# 20003 Copy from Active NOR", norSteps, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 3, 0, 0, 0}}},
        {"unmount fails", [](const sim::SimBoard& b) { b.addFault("tool umount 1"); }, 0, 1, "RUN# 20003 Umount of fs0",
         upToUmount, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"format fails", [](const sim::SimBoard& b) { b.addFault("tool mkfs.ext3 1"); }, 0, 1,
         "RUN# 20003 Erasing of Standby NAND Flash", upToFormat, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"mount fails", [](const sim::SimBoard& b) { b.addFault("tool mount 32"); }, 0, 1, "RUN# 20003 Mount of fs0",
         allSteps, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"file copy fails", [](const sim::SimBoard& b) { b.addFault("readonly sda1"); }, 0, 2,
         "RUN# 20003 Copying Standby NAND Flash", allSteps, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x21, 1, 0, 0, 0}}, 1},
        {"copy source not mounted", [](const sim::SimBoard& b) { b.setMounts({{"/dev/sda1", "/mnt/fs0"}}); }, 0, 2,
         "RUN# 20003 Copying Standby NAND Flash", allSteps, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 1, 0, 0, 0}}},
        // Which file system runs is not known: the standby might be it.
        {"running link missing", [](const sim::SimBoard& b) { fs::remove(b.boardPath("/mnt/mmb")); }, 0, 1,
         "RUN# 20003 Standby NAND Flash refused: next hcp 1, running hcp -1", norSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"running link naming no file system",
         [](const sim::SimBoard& b) {
             fs::remove(b.boardPath("/mnt/mmb"));
             fs::create_symlink("fs2", b.boardPath("/mnt/mmb"));
         },
         0, 1, "RUN# 20003 Standby NAND Flash refused: next hcp 1, running hcp -1", norSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        // Empty work files compare equal, yet hold no boot image.
        {"empty boot flash and package image",
         [](const sim::SimBoard& b) {
             sim::writeFile(b.path("hw/mtd0"), "");
             b.writeFirmwarePackage("");
         },
         3, 0, "RUN# 20003 NOR bank change Error", {}, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x60, 4, 0, 0, 0}}},
    };
    for (const CopyFailure& c : cases) {
        for (bool commit : {false, true}) {
            TestBoard board({c.mmb}, std::to_string(&c - cases) + (commit ? "commit" : "copy"));
            prepareUpdate(*board);
            c.arrange(*board);
            std::string mtd1 = board->norImage("mtd1");
            ProcessResult result = firmSteps(*board, commit ? std::vector<std::string>{"copyFirm", "setFirmUpInfo"}
                                                            : std::vector<std::string>{"copyFirm"});
            EXPECT_EQ(result.status, 0) << c.what << result.err;
            // The exchange flag stays set until the commit clears it.
            EXPECT_EQ(result.out, outcome(c.norCopyError, c.nandCopyError, commit ? 0 : 1, 0, 1)) << c.what;
            std::vector<std::string> events = c.events;
            if (commit)
                events.push_back("sync");  // whatever was copied reaches the storage before the commit
            EXPECT_EQ(board->events(), events) << c.what;
            if (commit) {
                EXPECT_EQ(errorLogCodes(*board), c.records) << c.what;
                EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{0}) << c.what;
            } else {
                EXPECT_EQ(stepTraces(*board).back(), c.trace) << c.what;
                EXPECT_EQ(nvramBytes(*board, 0, 32), APPLYING.bytes()) << c.what;  // only the commit writes NVRAM
            }
            if (c.events.empty()) {
                EXPECT_EQ(board->norImage("mtd1"), mtd1) << c.what;  // nothing erased
            }
        }
    }
}

// Kept for root only: the boot flash image is no one else's to read.
TEST(FirmUpdate, differing_nor_keeps_both_images_for_inspection)
{
    TestBoard board;
    prepareUpdate(*board);
    board->writeFirmwarePackage("other image");
    firmSteps(*board, {"copyFirm"});
    EXPECT_EQ(sim::readFile(board->boardPath("/tmp/nor0")), board->norImage("mtd0"));
    EXPECT_EQ(sim::readFile(board->boardPath("/tmp/worknor")), "other image");
    for (const char* file : {"/tmp/nor0", "/tmp/worknor"})
        EXPECT_EQ(fs::status(board->boardPath(file)).permissions(), fs::perms::owner_read | fs::perms::owner_write)
            << file;
}

// A compare file's name taken by a folder in use is left alone, nothing is
// written through it, and the compare fails without reading it.
TEST(FirmUpdate, compare_file_name_taken_fails_the_compare)
{
    const std::vector<std::string> all = copyTraces(1, 0);  // touch, cat, tar, cmp
    for (const char* name : {"/tmp/nor0", "/tmp/worknor"}) {
        TestBoard board({}, name + 5);
        prepareUpdate(*board);
        fs::create_directories(board->boardPath(name) + "/in-use");
        ProcessResult result = firmSteps(*board, {"copyFirm"});
        EXPECT_EQ(result.out, outcome(3, 0, 1, 0, 1)) << name;
        const std::string refusal = std::string("RUN# 20011 claim(") + name + ") failed errno=39";  // ENOTEMPTY
        const bool norFirst = std::string(name) == "/tmp/nor0";
        const std::vector<std::string> expected = {all[0],
                                                   all[1],
                                                   norFirst ? refusal : all[2],
                                                   norFirst ? all[2] : refusal,
                                                   "DBG# 20003 Compare Error for Active NOR",
                                                   "RUN# 20003 NOR bank change Error"};
        EXPECT_EQ(stepTraces(*board), expected) << name;
    }
}

struct Bookkeeping {
    Header header;
    const char* step;
};

// Each operation acts in its own update states only: elsewhere it changes
// nothing, NVRAM, records and copies included.
TEST(FirmUpdate, operations_outside_their_states_change_nothing)
{
    const Bookkeeping cases[] = {
        {{'F', 0, 1, 0, 1, 0, 1, 0, 0, "V01L02", "V02L00"}, "copyFirm"},  // the firmware only
        {{'F', 0, 1, 0, 1, 1, 0, 0, 0, "V01L02", "V02L00"}, "copyFirm"},  // the boot program only
        {{'R', 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "copyFirm"},
        {{0, 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "copyFirm"},
        {{0, 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "setFirmUpInfo"},
        {{'X', 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "setFirmUpInfo"},
        {{0, 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "setFirmUpRecovery"},
        {{'R', 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"}, "setFirmUpRecovery"},
    };
    for (const Bookkeeping& c : cases) {
        SCOPED_TRACE(c.step + std::to_string(&c - cases));
        TestBoard board({}, std::to_string(&c - cases));
        prepareUpdate(*board, c.header);
        sim::writeFile(board->path("hw/eeprom"), std::string(1, '\x01'));
        Bytes before = nvramBytes(*board, 0, 33);
        ProcessResult result = firmSteps(*board, {c.step});
        int snapshot = c.header.firmUpMode != 0 ? c.header.firmChange : 0;  // the start's, in any update state
        EXPECT_EQ(result.out, outcome(0, 0, c.header.bootRomChange, 0, snapshot));
        EXPECT_EQ(nvramBytes(*board, 0, 33), before);
        EXPECT_TRUE(errorLogCodes(*board).empty());
        EXPECT_TRUE(board->events().empty());
        EXPECT_EQ(board->eepromBootBank(), 1);
        EXPECT_FALSE(fs::exists(board->boardPath("/tmp/firmup_reboot")));
        std::vector<std::string> skipped = {"DBG# 20002 Skipping Standby Flash copy"};
        EXPECT_EQ(stepTraces(*board), c.step == std::string("copyFirm") ? skipped : std::vector<std::string>{});
    }
}

// The marker is looked for where the board keeps it, whatever the debug
// prefix, and stops every command of the copy.
TEST(FirmUpdate, inhibit_marker_at_its_plain_path_runs_no_command)
{
    TestBoard board;
    prepareUpdate(*board);
    sim::writeFile(board->boardPath("/var/mmb/fmem/INH_MMBFSYNC"), "");
    fs::create_directories(board->boardPath("/tmp/debug/tmp"));
    ProcessResult result = shellOnBoard(*board, "MMB_DEBUG_PATH=/tmp/debug firm-steps copyFirm");
    EXPECT_EQ(result.out, outcome(0, 0, 1, 0, 1));
    EXPECT_EQ(traceLines(board->boardPath("/tmp/debug/tmp/trace.log")),
              std::vector<std::string>{"DBG# 20002 Skipping Standby Flash copy"});
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/firmup_reboot")));
}

struct Commit {
    uint8_t firmChange;
    uint8_t bootRomChange;
    std::vector<std::string> steps;
    std::string out;
    std::vector<std::string> traces;
    std::vector<Bytes> records = {};
};

// Only what was exchanged is traced, only a double exchange recorded, and
// the update is committed. The start's record keeps the exchange flag the
// rolled-back state holds: the roll-back cleared the one the start loaded.
TEST(FirmUpdate, first_start_traces_each_exchange_and_commits)
{
    const Commit cases[] = {
        {1, 0, {"setFirmUpInfo"}, outcome(0, 0, 0, 0, 1), {"RUN# 20002 Exchage of MMB Firmware"}},
        {0, 1, {"setFirmUpInfo"}, outcome(0, 0), {"RUN# 20002 Exchange of MMB Boot Program"}},
        {0, 0, {"setFirmUpInfo"}, outcome(0, 0), {}},
        {1, 1, {"setFirmUpRecovery", "setFirmUpInfo"}, outcome(0, 0), {"RUN# 20002 Selected BootBank No.=0"},
         {{1, 0xC2, 3, 0x10, 0, 0, 0, 0}}},
    };
    for (const Commit& c : cases) {
        Header applying = APPLYING;
        applying.firmChange = c.firmChange;
        applying.bootRomChange = c.bootRomChange;
        TestBoard board({}, std::to_string(&c - cases));
        prepareUpdate(*board, applying);
        ProcessResult result = firmSteps(*board, c.steps);
        EXPECT_EQ(result.out, c.out) << &c - cases;
        EXPECT_EQ(stepTraces(*board), c.traces) << &c - cases;
        EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{0}) << &c - cases;
        EXPECT_EQ(errorLogCodes(*board), c.records) << &c - cases;
    }
}

struct BootChange {
    uint8_t mode;
    uint8_t current;
    uint8_t next;
    int booted;
    int result;
};

TEST(FirmUpdate, boot_program_exchange_is_judged_from_the_bank_booted)
{
    const BootChange cases[] = {
        {0, 0, 1, 1, 0}, {'F', 1, 1, 1, 0}, {'F', 0, 1, 1, 1}, {'F', 0, 1, 0, 0xFF},
        {'R', 0, 1, 1, 1}, {'R', 1, 0, 1, 0xFF},
    };
    for (const BootChange& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        Header header = {c.mode, 0, 0, c.current, c.next, 0, 0, 0, 0, "", ""};
        makeHealthy(*board, header);
        ProcessResult result = firmSteps(*board, {"generateBootChg=" + std::to_string(c.booted)});
        EXPECT_EQ(result.out, outcome(0, 0, c.result, c.result)) << int(c.mode) << int(c.current) << int(c.next);
        EXPECT_EQ(nvramBytes(*board, 0, 32), header.bytes());  // judged in memory only
    }
}

} // namespace
