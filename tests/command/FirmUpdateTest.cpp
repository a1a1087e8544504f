// A firmware update through its first start on a simulated board: the
// standby copies, the records of their outcome, commit and roll-back.
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// Boot program and firmware both exchanged: HCP 1 and bank 1 run for the first time.
const Header APPLYING = {'F', 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"};

ProcessResult firmSteps(const sim::SimBoard& board, const std::vector<std::string>& steps)
{
    std::vector<std::string> command = {"firm-steps"};
    command.insert(command.end(), steps.begin(), steps.end());
    return runOnBoard(board, command);
}

std::string outcome(int nor, int nand, int bootRomChange = 0, int result = 0)
{
    return "norCopyError=" + std::to_string(nor) + " nandCopyError=" + std::to_string(nand) +
           " bootRomChange=" + std::to_string(bootRomChange) + " bootRomChangeResult=" + std::to_string(result) + "\n";
}

// A board in its first start after an update was applied; the package
// holds the boot image the active NOR flash holds.
void prepareUpdate(const sim::SimBoard& board, const Header& header = APPLYING)
{
    makeHealthy(board, header);
    board.setClock(1600000000, 0, 1000);
    board.writeFirmwarePackage(board.norImage("mtd0"));
    sim::writeFile(board.path("hw/mtd1"), std::string(sim::SimBoard::NOR_SIZE, '\x55'));
    sim::writeFile(board.path("hcp1/opt/mmb/version.dat"), "REVISION=V02L00\n");
    fs::create_directories(board.path("hcp1/opt/mmb/bin"));
    sim::writeFile(board.path("hcp1/opt/mmb/bin/daemon"), "new daemon\n");
    sim::writeFile(board.path("hcp0/opt/mmb/old"), "old firmware only\n");
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

TEST(FirmUpdate, first_start_copies_the_standby_flashes_and_commits)
{
    TestBoard board;
    prepareUpdate(*board);
    ProcessResult result = firmSteps(*board, {"copyFirm", "setFirmUpInfo"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, outcome(0, 0));

    EXPECT_EQ(board->norImage("mtd1"), board->norImage("mtd0"));
    EXPECT_EQ(treeOf(board->path("hcp0")), treeOf(board->path("hcp1")));
    EXPECT_EQ(board->events(), (std::vector<std::string>{"flash_eraseall /dev/mtd1", "umount /mnt/fs0",
                                                         "mkfs.ext3 /dev/sda1", "mount -t ext3 /dev/sda1 /mnt/fs0"}));
    EXPECT_TRUE(fs::exists(board->boardPath("/tmp/firmup_reboot")));
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/nor0")));
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/worknor")));

    const Header committed = {0, 1, 1, 1, 1, 0, 0, 0, 0, "V02L00", "V02L00"};
    EXPECT_EQ(nvramBytes(*board, 0, 32), committed.bytes());
    EXPECT_EQ(errorLogCodes(*board), std::vector<Bytes>{BOTH_EXCHANGED});
    // The record file is named by its time stamp, which the board clock fixed.
    EXPECT_TRUE(fs::exists(board->boardPath("/var/mmb/log/init/1600000000.000")));
}

TEST(FirmUpdate, roll_back_restores_the_running_firmware_and_bank)
{
    TestBoard board;
    prepareUpdate(*board);
    sim::writeFile(board->path("hw/eeprom"), std::string(1, '\x01'));  // bank 1 was selected for the update
    ProcessResult recovery = firmSteps(*board, {"setFirmUpRecovery"});
    EXPECT_EQ(recovery.status, 0) << recovery.err;
    EXPECT_EQ(board->eepromBootBank(), 0);
    const Header rolledBack = {'R', 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"};
    EXPECT_EQ(nvramBytes(*board, 0, 32), rolledBack.bytes());
    EXPECT_TRUE(errorLogCodes(*board).empty());

    ProcessResult nextStart = firmSteps(*board, {"setFirmUpInfo"});
    EXPECT_EQ(nextStart.status, 0) << nextStart.err;
    const Header committed = {0, 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"};
    EXPECT_EQ(nvramBytes(*board, 0, 32), committed.bytes());
    EXPECT_EQ(errorLogCodes(*board), std::vector<Bytes>{Bytes({1, 0xC2, 3, 0x10, 0, 0, 0, 0})});
}

TEST(FirmUpdate, roll_back_without_a_boot_program_exchange_leaves_the_bank)
{
    TestBoard board;
    Header firmwareOnly = APPLYING;
    firmwareOnly.bootRomChange = 0;
    prepareUpdate(*board, firmwareOnly);
    sim::writeFile(board->path("hw/eeprom"), std::string(1, '\x01'));
    firmSteps(*board, {"setFirmUpRecovery"});
    EXPECT_EQ(board->eepromBootBank(), 1);
    EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{'R'});
}

struct CopyFailure {
    const char* what;
    void (*arrange)(const sim::SimBoard&);
    int norCopyError;
    int nandCopyError;
    std::vector<std::string> events;  // simulated tool calls
    std::vector<Bytes> records;       // from setFirmUpInfo
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
         0, 0, {}, {BOTH_EXCHANGED}},
        {"NOR differs from the package", [](const sim::SimBoard& b) { b.writeFirmwarePackage("other image"); },
         3, 0, {}, {BOTH_EXCHANGED, {1, 0xC2, 3, 0x60, 4, 0, 0, 0}}},
        {"erase fails", [](const sim::SimBoard& b) { b.addFault("tool flash_eraseall 1"); }, 1, 0, norSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 2, 0, 0, 0}}},
        {"NOR copy fails", [](const sim::SimBoard& b) { b.addFault("open mtd1 EIO"); }, 2, 0, norSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 3, 0, 0, 0}}},
        {"unmount fails", [](const sim::SimBoard& b) { b.addFault("tool umount 1"); }, 0, 1, upToUmount,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"format fails", [](const sim::SimBoard& b) { b.addFault("tool mkfs.ext3 1"); }, 0, 1, upToFormat,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"mount fails", [](const sim::SimBoard& b) { b.addFault("tool mount 32"); }, 0, 1, allSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 0, 0, 0, 0}}},
        {"file copy fails", [](const sim::SimBoard& b) { b.addFault("readonly sda1"); }, 0, 2, allSteps,
         {BOTH_EXCHANGED, {1, 0xC2, 3, 0x20, 1, 0, 0, 0}}},
    };
    for (const CopyFailure& c : cases) {
        for (bool commit : {false, true}) {
            TestBoard board({}, std::to_string(&c - cases) + (commit ? "commit" : "copy"));
            prepareUpdate(*board);
            c.arrange(*board);
            std::string mtd1 = board->norImage("mtd1");
            ProcessResult result = firmSteps(*board, commit ? std::vector<std::string>{"copyFirm", "setFirmUpInfo"}
                                                            : std::vector<std::string>{"copyFirm"});
            EXPECT_EQ(result.status, 0) << c.what << result.err;
            // The exchange flag stays set until the commit clears it.
            EXPECT_EQ(result.out, outcome(c.norCopyError, c.nandCopyError, commit ? 0 : 1)) << c.what;
            EXPECT_EQ(board->events(), c.events) << c.what;
            if (commit) {
                EXPECT_EQ(errorLogCodes(*board), c.records) << c.what;
                EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{0}) << c.what;
            } else {
                EXPECT_EQ(nvramBytes(*board, 0, 32), APPLYING.bytes()) << c.what;  // only the commit writes NVRAM
            }
            if (c.events.empty()) {
                EXPECT_EQ(board->norImage("mtd1"), mtd1) << c.what;  // nothing erased
            }
        }
    }
}

TEST(FirmUpdate, differing_nor_keeps_both_images_for_inspection)
{
    TestBoard board;
    prepareUpdate(*board);
    board->writeFirmwarePackage("other image");
    firmSteps(*board, {"copyFirm"});
    EXPECT_EQ(sim::readFile(board->boardPath("/tmp/nor0")), board->norImage("mtd0"));
    EXPECT_EQ(sim::readFile(board->boardPath("/tmp/worknor")), "other image");
}

TEST(FirmUpdate, skipped_when_only_the_firmware_is_exchanged)
{
    TestBoard board;
    Header firmwareOnly = APPLYING;
    firmwareOnly.bootRomChange = 0;
    prepareUpdate(*board, firmwareOnly);
    ProcessResult result = firmSteps(*board, {"copyFirm", "setFirmUpInfo"});
    EXPECT_EQ(result.out, outcome(0, 0));
    EXPECT_TRUE(board->events().empty());
    EXPECT_FALSE(fs::exists(board->boardPath("/tmp/firmup_reboot")));
    EXPECT_TRUE(errorLogCodes(*board).empty());
    EXPECT_EQ(nvramBytes(*board, 0, 3), (Bytes{0, 1, 1}));
}

TEST(FirmUpdate, records_name_the_board)
{
    sim::SimBoard::Options options;
    options.mmbNumber = 1;
    TestBoard board(options);
    prepareUpdate(*board);
    board->addFault("readonly sda1");
    firmSteps(*board, {"copyFirm", "setFirmUpInfo"});
    EXPECT_EQ(errorLogCodes(*board), (std::vector<Bytes>{BOTH_EXCHANGED, {1, 0xC2, 3, 0x21, 1, 0, 0, 0}}));
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
