// Why the board started, as every nvram run judges it: the power-on flag of
// the reset type register, the HBL reboot count file and the I2C marker.
#include "BoardLogs.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>

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

// Created for everybody, as far as the file mask lets it.
TEST(BootCause, a_reboot_creates_an_empty_count_file)
{
    TestBoard board;
    makeHealthy(*board, {});
    shellOnBoard(*board, "umask 0; nvram");
    EXPECT_TRUE(fs::is_regular_file(board->boardPath(COUNT_FILE)));
    EXPECT_EQ(fs::file_size(board->boardPath(COUNT_FILE)), 0u);
    EXPECT_EQ(fs::status(board->boardPath(COUNT_FILE)).permissions(), fs::perms::all);
    EXPECT_FALSE(fs::exists(board->boardPath(REBOOT_MARKER)));
}

struct TraceCase {
    const char* what;
    void (*arrange)(const sim::SimBoard&);
    bool acOn;
    std::vector<std::string> traces;  // of the load's findings (20002, 20003, 20011)
};

// What the load found, on a reboot into an NVRAM it rebuilds: the HBL count
// and what its read returned, the board version and the running link. A
// count file that cannot be opened ends the judgement: the I2C marker is
// not looked at.
TEST(BootCause, the_load_traces_what_it_found)
{
    const TraceCase cases[] = {
        {"count 3", [](const sim::SimBoard& b) { sim::writeFile(b.boardPath(COUNT_FILE), "\x03"); }, true,
         {"DBG# 20003 HBL REBOOT Count =3 (1)", "RUN# 20002 readMMBBoardVersion (CPLD Version=4b)"}},
        {"version 0x73", [](const sim::SimBoard& b) { b.setReg(0x76, 0x0730); }, false,
         {"DBG# 20003 HBL REBOOT Count =0 (0)", "RUN# 20002 readMMBBoardVersion (CPLD Version=73)"}},
        {"count file unopenable",
         [](const sim::SimBoard& b) {
             fs::create_directory(b.boardPath(COUNT_FILE));
             sim::writeFile(b.boardPath(I2C_MARKER), "");
         },
         false, {"DBG# 20003 HBL REBOOT Count file Open Fail", "RUN# 20002 readMMBBoardVersion (CPLD Version=4b)"}},
        {"version unreadable", [](const sim::SimBoard& b) { b.addFault("cpld-read 0x76 EIO"); }, false,
         {"DBG# 20003 HBL REBOOT Count =0 (0)", "RUN# 20011 readMMBBoardVersion:read cpld 5"}},
        {"no register device", [](const sim::SimBoard& b) { b.addFault("missing cpld"); }, false,
         {"DBG# 20003 HBL REBOOT Count =0 (0)", "RUN# 20011 readMMBBoardVersion:CPLD open 2"}},
        {"no running link", [](const sim::SimBoard& b) { fs::remove(b.boardPath("/mnt/mmb")); }, false,
         {"DBG# 20003 HBL REBOOT Count =0 (0)", "RUN# 20002 readMMBBoardVersion (CPLD Version=4b)",
          "DBG# 20003 read link file(/mnt/mmb) rtn=-1"}},
        {"running link not three characters",
         [](const sim::SimBoard& b) {
             fs::remove(b.boardPath("/mnt/mmb"));
             fs::create_symlink("/mnt/fs1", b.boardPath("/mnt/mmb"));
         },
         false,
         {"DBG# 20003 HBL REBOOT Count =0 (0)", "RUN# 20002 readMMBBoardVersion (CPLD Version=4b)",
          "DBG# 20003 read link file(/mnt/mmb) rtn=8"}},
    };
    for (const TraceCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        board->setReg(0x600, 0x0000);
        c.arrange(*board);
        runOnBoard(*board, {"other-steps", "initialize"});
        std::vector<std::string> findings;
        for (const std::string& line : stepTraces(*board))
            if (std::regex_search(line, std::regex("^.{5}200(02|03|11) ")))
                findings.push_back(line);
        EXPECT_EQ(findings, c.traces) << c.what;
        EXPECT_EQ(fs::exists(board->boardPath(REBOOT_MARKER)), c.acOn) << c.what;
    }
}

} // namespace
