// How nvram loads, repairs and writes back the firmware state in NVRAM.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const Header STORED = {0, 1, 0, 1, 0, 0, 0, 1, 0, "V07", "V08"};

struct DamageCase {
    const char* what;
    Bytes idBlock;  // written at 496 after a healthy set-up
    bool rebuilt;
};

TEST(NvramState, damaged_identification_rebuilds_the_header)
{
    Bytes otherName = ID_BLOCK;
    otherName[5] = 'X';
    Bytes otherByte = ID_BLOCK;
    otherByte[0] = 'N';
    Bytes otherSpace = ID_BLOCK;
    otherSpace[1] = 'x';  // byte 1 is never compared
    const DamageCase cases[] = {
        {"all zero", Bytes(10, 0), true},
        {"id byte only", otherName, true},
        {"name only", otherByte, true},
        {"second byte differs", otherSpace, false},
    };
    for (const DamageCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->patchNvram(0, 32, {9, 1});
        board->patchNvram(0, 318, {3});
        board->patchNvram(0, 496, c.idBlock);
        ProcessResult result = runNvram(*board, {});
        Header expected = c.rebuilt ? REBUILT : STORED;
        EXPECT_EQ(result.out, firmInfo(expected, c.rebuilt ? 0 : 9, c.rebuilt ? 0 : 1)) << c.what;
        EXPECT_EQ(nvramBytes(*board, 0, 32), expected.bytes()) << c.what;
        // A rebuild leaves the areas after the header as the driver cleared them.
        EXPECT_EQ(nvramBytes(*board, 32, 2), c.rebuilt ? Bytes(2, 0) : Bytes({9, 1})) << c.what;
        EXPECT_EQ(nvramBytes(*board, 318, 1), Bytes{uint8_t(c.rebuilt ? 0 : 3)}) << c.what;
        EXPECT_EQ(nvramBytes(*board, 496, 10), c.rebuilt ? ID_BLOCK : c.idBlock) << c.what;
    }
}

// A read error on the identification has the driver regenerate the
// checksum, and the check goes on with the bytes read again (its byte
// matches); a regeneration that fails ends the check. A repaired partition
// is rebuilt all the same.
TEST(NvramState, unreadable_identification_is_read_again_after_the_checksum_is_regenerated)
{
    for (bool regenerated : {true, false}) {
        TestBoard board({}, regenerated ? "regenerated" : "failed");
        makeHealthy(*board, STORED);
        board->spoilNvramChecksum(0);
        if (!regenerated)
            board->addFault("mram-request 0 checksum EIO");
        runOnBoard(*board, {"other-steps", "initialize"});
        std::vector<std::string> checks;
        for (const std::string& line : stepTraces(*board))
            if (line.rfind("DBG# 20001 checkNVRAM ", 0) == 0)
                checks.push_back(line);
        std::vector<std::string> expected = {"DBG# 20001 checkNVRAM read head offset=1f0"};
        if (regenerated)
            expected.push_back("DBG# 20001 checkNVRAM id(77) is match");
        EXPECT_EQ(checks, expected) << regenerated;
        EXPECT_EQ(board->events(),
                  (std::vector<std::string>{"ioctl /dev/mram0 " + REGENERATE_REQUEST, "ioctl /dev/mram0 " + INITIALIZE_REQUEST}));
        EXPECT_EQ(nvramBytes(*board, 0, 32), REBUILT.bytes()) << regenerated;
        EXPECT_TRUE(board->nvramChecksumValid(0)) << regenerated;
    }
}

// Header bytes another program changed while nvram ran are kept, unless
// nvram changed them too (byte by byte). Opens of partition 0: the
// identification check, the load, then flush.
TEST(NvramState, flush_merges_the_header_byte_by_byte)
{
    Header nextChanged = STORED;
    nextChanged.nextHcpNo = 1;
    Header ownRevision = STORED;
    ownRevision.currentHcpRev = "NEWDEFGHIJK";
    const std::tuple<const char*, std::vector<std::string>, Header> cases[] = {
        {"mram-change 0 2 01 after 3", {"-r"}, nextChanged},
        {"mram-change 0 10 4142434445464748494a4b after 3", {"-m", "1", "NEW"}, ownRevision},
    };
    for (const auto& [fault, args, expected] : cases) {
        TestBoard board({}, args[0]);
        makeHealthy(*board, STORED);
        board->addFault(fault);
        ProcessResult result = runNvram(*board, args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(nvramBytes(*board, 0, 32), expected.bytes()) << fault;
    }
}

struct LogCountCase {
    int32_t stored;
    uint16_t resetType;  // register 0x600: 0x0080 is a power-on
    int32_t after;
};

TEST(NvramState, log_count_survives_a_reboot_only_when_valid)
{
    const LogCountCase cases[] = {
        {5, 0x0000, 5}, {16, 0x0000, 16}, {17, 0x0000, 0}, {-1, 0x0000, 0}, {5, 0x0080, 0},
    };
    for (const LogCountCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->setReg(0x600, c.resetType);
        patchBig32(*board, 56, static_cast<uint32_t>(c.stored));
        runNvram(*board, {"-r"});
        EXPECT_EQ(static_cast<int32_t>(nvramBig32(*board, 56)), c.after) << c.stored << " " << c.resetType;
    }
}

// Bytes 34 and 35 are not ours: never read or written.
TEST(NvramState, areas_after_the_header_are_written_back_as_loaded)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    const Bytes areas = {0x12, 0x34, 0, 0, 0, 1, 0x5F, 0, 0, 0, 0, 1, 0xE2, 0x40,
                         2,    0xF1, 4, 1, 0, 0, 0,    0, 0, 0, 0, 2, 0xAA, 0xBB};  // 34..61
    board->patchNvram(0, 34, areas);
    board->patchNvram(0, 318, {1});
    runNvram(*board, {"-s", "1"});
    EXPECT_EQ(nvramBytes(*board, 34, areas.size()), areas);
    EXPECT_EQ(nvramBytes(*board, 318, 1), Bytes{1});
    EXPECT_EQ(nvramBytes(*board, 2, 1), Bytes{1});
}

// A fresh board's NVRAM is rebuilt from the running partition, whatever
// its link and revision file hold, with the bank in use. The firmware file
// systems are root's: a version.dat that is a link in the image is
// followed, relative or absolute.
TEST(NvramState, running_partition_detection_copes_with_odd_links_and_files)
{
    struct Case {
        const char* link;           // target of /mnt/mmb, or empty for none
        std::string revisionFile;   // first lines of fs0's version.dat
        const char* currentRev;     // revision field afterwards, up to 11 bytes
        int currentHcp;
        bool bank1 = false;         // in use, as register 0x600 shows
        const char* linkedAs = "";  // version.dat a link to version.real, which holds the file
    };
    const std::string longLine = "rev=" + std::string(10000, 'x') + "\n";
    const std::string longLink(255, 'a');  // read safely: the buffer holds it with its NUL
    const Case cases[] = {
        {"fs1", "REVISION=V01L02\n", "V01L01", 1},
        {"fs1", "REVISION=V01L02\n", "V01L01", 1, true},
        {"fs0", "key=V1\nother=V2\n", "V1", 0},
        {"/mnt/fs1", "key=V02L10\n", "V02L10", 0},  // not three characters
        {"", "key=V02L10\n", "V02L10", 0},
        {"fsX", "key=V02L10\n", "V02L10", 0},
        {"fs0", "key=ABCDEFGHIJKLMN\n", "ABCDEFGHIJK", 0},
        {"fs0", "no equals sign\n", "", 0},
        {"fs0", longLine, "xxxxxxxxxxx", 0},
        {"fs0", "", "", 0},
        {longLink.c_str(), "REVISION=V01L02\n", "V01L02", 0},
        {"fs0", "REVISION=V03L07\n", "V03L07", 0, false, "version.real"},
        {"fs0", "REVISION=V03L07\n", "V03L07", 0, false, "/mnt/fs0/opt/mmb/version.real"},
    };
    for (const Case& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        std::filesystem::remove(board->boardPath("/mnt/mmb"));
        if (*c.link != '\0')
            std::filesystem::create_symlink(c.link, board->boardPath("/mnt/mmb"));
        std::string revisionFile = board->path("hcp0/opt/mmb/version.dat");
        if (*c.linkedAs != '\0') {
            std::filesystem::remove(revisionFile);
            std::filesystem::create_symlink(c.linkedAs, revisionFile);
            revisionFile = board->path("hcp0/opt/mmb/version.real");
        }
        sim::writeFile(revisionFile, c.revisionFile);
        if (c.bank1)
            board->setReg(0x600, 0x2000);
        ProcessResult result = runNvram(*board, {});
        EXPECT_EQ(result.status, 0) << c.link;
        Header expected;
        expected.currentHcpNo = expected.nextHcpNo = static_cast<uint8_t>(c.currentHcp);
        expected.currentBootRom = c.bank1 ? 1 : 0;
        expected.currentHcpRev = expected.nextHcpRev = c.currentRev;
        EXPECT_EQ(result.out, firmInfo(expected)) << c.link << c.linkedAs;
        EXPECT_EQ(nvramBytes(*board, 0, 32), expected.bytes()) << c.link << " " << c.revisionFile.substr(0, 20);
        EXPECT_EQ(nvramBytes(*board, 496, 10), ID_BLOCK) << c.link;
    }
}

TEST(NvramState, debug_path_prefix_too_long_for_any_path_is_refused_safely)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    patchBig32(*board, 56, 5);
    ProcessResult result =
        runOnBoard(*board, {"env", "MMB_DEBUG_PATH=/" + std::string(300, 'p'), "nvram", "-r"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(nvramBig32(*board, 56), 5u);  // still a reboot: the count file could not be named
    EXPECT_FALSE(std::filesystem::exists(board->boardPath("/var/mmb/fmem/MMB_REBOOT_HBL_CNT")));
}

} // namespace
