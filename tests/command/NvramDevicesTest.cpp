// nvram options that reach the board's devices: boot ROM bank selection
// and the flash revision display.
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const Header STORED = {0, 0, 1, 0, 0, 0, 0, 0, 0, "V01L02", "V01L01"};

struct BankCase {
    const char* what;
    std::vector<const char*> faults;
    int eepromBank;      // afterwards
    Bytes recordCodes;   // kind, unit code and codes of the one error log record, or empty for none
    int mmb = 0;
    uint16_t resetType = 0x0000;  // 0x2100: watchdog error flag, bank 1 in use
    int status = 0;
};

// The selection's retries and the records of each failure are the library's
// own tests (BoardDevicesTest). A record carries the board's number and is
// named by its time stamp (the board clock stands at 1000.005123 s); for an
// error flag at boot it holds the bank in use.
TEST(NvramDevices, bank_selection_is_stored_in_eeprom_and_nvram)
{
    const BankCase cases[] = {
        {"selected", {}, 1, {}},
        {"transient failure five times", {"eeprom-select 2 4 times 5"}, 1, {}},
        {"foreign failure", {"eeprom-select foreign"}, 0, {2, 0xF1, 4, 1, 0, 0, 0, 0}, 1},
        {"watchdog error at boot", {}, 1, {2, 0xF0, 0x19, 1, 0, 0, 0, 0}, 0, 0x2100},
        {"unreachable watchdog", {"cpld-read 0x610 EIO"}, 0, {}, 0, 0x0000, 1},
    };
    for (const BankCase& c : cases) {
        TestBoard board({c.mmb}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->setClock(1000, 5123, 0);
        board->setReg(0x600, c.resetType);
        for (const char* fault : c.faults)
            board->addFault(fault);
        Bytes partition0 = board->nvram(0);
        ProcessResult result = runNvram(*board, {"-b", "1"});
        EXPECT_EQ(result.status, c.status) << c.what << result.err;
        EXPECT_EQ(result.out, "") << c.what;
        EXPECT_EQ(board->eepromBootBank(), c.eepromBank) << c.what;
        // The next bank is recorded whatever the selection did, unless the run
        // failed, and nothing else of partition 0 changes.
        partition0[4] = c.status == 0 ? 1 : 0;
        EXPECT_EQ(board->nvram(0), partition0) << c.what;
        std::vector<ErrorLogFile> logs = errorLogFiles(*board);
        ASSERT_EQ(logs.size(), c.recordCodes.empty() ? 0u : 1u) << c.what;
        if (!logs.empty()) {
            Bytes record = {0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x14, 0x03};  // 1000 s, 5123 us
            record.insert(record.end(), c.recordCodes.begin(), c.recordCodes.end());
            EXPECT_EQ(logs[0].bytes, record) << c.what;
            EXPECT_EQ(logs[0].name, "1000.005") << c.what;
        }
    }
}

struct RevisionCase {
    const char* what;
    int running;                 // currentHcpNo in NVRAM
    std::string otherFile;       // content of the other flash's version.dat, "-" for none, "@..." linked
    std::string out;
    std::vector<std::string> events;
};

TEST(NvramDevices, revision_display_mounts_only_the_flash_not_running)
{
    const std::vector<std::string> mountOne = {"mount -t jffs2 /dev/mtdblock1 /tmp/nvrwork", "umount /tmp/nvrwork"};
    const std::vector<std::string> mountZero = {"mount -t jffs2 /dev/mtdblock0 /tmp/nvrwork", "umount /tmp/nvrwork"};
    const RevisionCase cases[] = {
        {"running 0", 0, "REVISION=V01L01\n", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = V01L01\n", mountOne},
        {"running 1", 1, "REVISION=V01L02\n", "FMEM#0 hcp rev   = V01L02\nFMEM#1 hcp rev   = V1\n", mountZero},
        {"cut to 10", 0, "rev=ABCDEFGHIJKL\n", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = ABCDEFGHIJ\n", mountOne},
        {"no equals", 0, "ABCDEFGHIJKL\n", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = \n", mountOne},
        {"no file", 0, "-", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = \n", mountOne},
        {"empty file", 0, "", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = \n", mountOne},
        {"linked in the image", 0, "@REVISION=V02L00\n", "FMEM#0 hcp rev   = V1\nFMEM#1 hcp rev   = V02L00\n", mountOne},
    };
    for (const RevisionCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        Header header = STORED;
        header.currentHcpNo = static_cast<uint8_t>(c.running);
        header.currentHcpRev = "V1";
        makeHealthy(*board, header);
        std::string other = board->path("hcp" + std::to_string(1 - c.running) + "/opt/mmb/version.dat");
        fs::remove(other);
        if (c.otherFile[0] == '@') {  // a link to a file of that content beside it
            sim::writeFile(other + ".real", c.otherFile.substr(1));
            fs::create_symlink("version.dat.real", other);
        } else if (c.otherFile != "-") {
            sim::writeFile(other, c.otherFile);
        }
        ProcessResult result = runNvram(*board, {"-p"});
        EXPECT_EQ(result.status, 0) << c.what << result.err;
        EXPECT_EQ(result.out, c.out) << c.what;
        EXPECT_EQ(board->events(), c.events) << c.what;
        EXPECT_FALSE(fs::exists(board->boardPath("/tmp/nvrwork"))) << c.what;
    }
}

// The run ends at the failing command (no later one complains), leaving
// the work folder as the failure found it. A file root left in the folder
// fails the rmdir.
TEST(NvramDevices, failing_mount_umount_or_rmdir_ends_the_display_with_status_1)
{
    const std::pair<const char*, std::string> cases[] = {
        {"tool mount 32", "mount: simulated failure\n"},
        {"tool umount 1", "umount: simulated failure\n"},
        {"", "/bin/rmdir: failed to remove '/tmp/nvrwork': Directory not empty\n"},
    };
    for (const auto& [fault, complaint] : cases) {
        TestBoard board({}, std::to_string(&fault - &cases[0].first));
        makeHealthy(*board, STORED);
        if (*fault != '\0')
            board->addFault(fault);
        else
            ASSERT_EQ(shellOnBoard(*board, "mkdir /tmp/nvrwork && touch /tmp/nvrwork/kept").status, 0);
        ProcessResult result = runNvram(*board, {"-p"});
        EXPECT_EQ(result.status, 1) << fault;
        EXPECT_EQ(result.out, "") << fault;
        EXPECT_EQ(result.err, complaint) << fault;
        EXPECT_TRUE(fs::is_directory(board->boardPath("/tmp/nvrwork"))) << fault;
    }
}

// What was renamed aside from /tmp/nvrwork: for each such folder, the
// names it holds, joined by spaces.
std::vector<std::string> movedAside(const sim::SimBoard& board)
{
    std::vector<std::string> folders;
    for (const fs::directory_entry& entry : fs::directory_iterator(board.boardPath("/tmp"))) {
        if (entry.path().filename().string().rfind("nvrwork.", 0) != 0)
            continue;
        std::string names;
        for (const fs::directory_entry& inside : fs::directory_iterator(entry.path()))
            names += (names.empty() ? "" : " ") + inside.path().filename().string();
        folders.push_back(names);
    }
    return folders;
}

// What root left at the work path meets the mkdir as it always did: its
// folder is used, its file fails the run. What another user left is never
// in the way: removed, or moved aside when it is a folder that holds
// something.
TEST(NvramDevices, leftover_work_path_is_root_s_to_keep_and_nobody_else_s)
{
    const std::string shown = "FMEM#0 hcp rev   = V01L02\nFMEM#1 hcp rev   = V01L01\n";
    struct Case {
        const char* user;  // who leaves it
        const char* plant;
        int status;
        std::string out;
        std::vector<std::string> aside;
    };
    const Case cases[] = {
        {"", "mkdir /tmp/nvrwork", 0, shown, {}},
        {"", "touch /tmp/nvrwork", 1, "", {}},
        {"nobody", "mkdir /tmp/nvrwork", 0, shown, {}},
        {"nobody", "touch /tmp/nvrwork", 0, shown, {}},
        {"nobody", "mkdir /tmp/nvrwork; touch /tmp/nvrwork/in-use", 0, shown, {"in-use"}},
    };
    for (const Case& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        ASSERT_EQ(shellOnBoard(*board, c.plant, c.user).status, 0) << c.plant;
        ProcessResult result = runNvram(*board, {"-p"});
        EXPECT_EQ(result.status, c.status) << c.user << ": " << c.plant;
        EXPECT_EQ(result.out, c.out) << c.user << ": " << c.plant;
        EXPECT_EQ(fs::exists(board->boardPath("/tmp/nvrwork")), c.status != 0) << c.user << ": " << c.plant;
        EXPECT_EQ(board->events().empty(), c.status != 0) << c.user << ": " << c.plant;  // mounted only when ready
        EXPECT_EQ(movedAside(*board), c.aside) << c.user << ": " << c.plant;
    }
}

// Another user's folder that is a mount point can be neither removed nor
// renamed aside: nothing more is mounted, and the run ends as a failing
// mkdir does.
TEST(NvramDevices, work_path_that_cannot_be_made_ours_ends_the_display)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    fs::create_directory(board->boardPath("/tmp/nvrwork"));
    ASSERT_EQ(chown(board->path("hcp1").c_str(), 65534, 65534), 0);  // nobody's
    board->setMounts({{"/dev/mtdblock1", "/tmp/nvrwork"}});
    ProcessResult result = runNvram(*board, {"-p"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(board->events().empty());
    EXPECT_EQ(movedAside(*board), std::vector<std::string>());  // no folder of ours left behind
}

} // namespace
