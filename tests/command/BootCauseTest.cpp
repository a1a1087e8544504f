// Why the board started, as every nvram run judges it: the power-on flag of
// the reset type register, the HBL reboot count file and the I2C marker.
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr const char* REBOOT_MARKER = "/tmp/MMB_REBOOT_HBL";
constexpr const char* I2C_MARKER = "/var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE";
constexpr const char* COUNT_FILE = "/var/mmb/fmem/MMB_REBOOT_HBL_CNT";

struct BootCase {
    const char* what;
    uint16_t resetType;           // register 0x600
    const char* fault;            // armed fault, or empty
    std::optional<std::string> countFile;  // content, if the file exists
    bool i2cMarker;               // the marker exists before the run
    bool acOn;                    // judged a power-on
    bool rebootMarker, i2cMarkerAfter;
    std::vector<std::string> registerWrites;
};

TEST(BootCause, each_rule_decides_as_the_board_expects)
{
    const BootCase cases[] = {
        {"power-on flag", 0x0180, "", std::nullopt, false, true, true, true, {"0x0600 0x0080"}},
        {"power-on flag, bank 1", 0x2080, "", std::nullopt, false, true, true, true, {"0x0600 0x2080"}},
        {"plain reboot", 0x0000, "", std::nullopt, false, false, false, false, {}},
        {"HBL count set", 0x0000, "", "\x03", false, true, true, false, {}},
        {"HBL count zero", 0x0000, "", std::string("\0", 1), false, false, false, false, {}},
        {"I2C marker", 0x0000, "", "", true, true, true, true, {}},
        {"register unreadable", 0x0080, "cpld-read 0x600 EIO times 1", std::nullopt, false, false, false, false, {}},
        {"no register device", 0x0080, "missing cpld", "\x01", false, true, true, false, {}},
    };
    for (const BootCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, {});
        board->setReg(0x600, c.resetType);
        patchBig32(*board, 56, 5);  // survives a reboot, cleared by a power-on
        if (c.countFile)
            sim::writeFile(board->boardPath(COUNT_FILE), *c.countFile);
        if (c.i2cMarker)
            sim::writeFile(board->boardPath(I2C_MARKER), "");
        if (*c.fault != '\0')
            board->addFault(c.fault);

        ProcessResult result = runNvram(*board, {"-r"});
        EXPECT_EQ(result.status, 0) << c.what << result.err;
        EXPECT_EQ(nvramBig32(*board, 56), c.acOn ? 0u : 5u) << c.what;
        EXPECT_EQ(fs::exists(board->boardPath(REBOOT_MARKER)), c.rebootMarker) << c.what;
        EXPECT_EQ(fs::exists(board->boardPath(I2C_MARKER)), c.i2cMarkerAfter) << c.what;
        EXPECT_EQ(board->cpldWrites(), c.registerWrites) << c.what;
    }
}

TEST(BootCause, a_reboot_creates_an_empty_count_file)
{
    TestBoard board;
    makeHealthy(*board, {});
    runNvram(*board, {});
    EXPECT_TRUE(fs::is_regular_file(board->boardPath(COUNT_FILE)));
    EXPECT_EQ(fs::file_size(board->boardPath(COUNT_FILE)), 0u);
    EXPECT_FALSE(fs::exists(board->boardPath(REBOOT_MARKER)));
}

TEST(BootCause, missing_fmem_folder_keeps_the_reboot_judgement)
{
    TestBoard board;
    makeHealthy(*board, {});
    patchBig32(*board, 56, 5);
    fs::remove_all(board->boardPath("/var/mmb/fmem"));
    ProcessResult result = runNvram(*board, {"-r"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(nvramBig32(*board, 56), 5u);
}

} // namespace
