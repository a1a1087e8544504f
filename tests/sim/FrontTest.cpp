// mmb-sim as a person or a script uses it.
#include "MramPartition.h"
#include "Process.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

TEST(Front, fresh_board_is_a_power_on_with_nvram_never_initialised)
{
    TestBoard board;
    EXPECT_EQ(runSim({"reg", board->directory()}).out,
              "0x0070 0x0000\n0x0072 0x0000\n0x0076 0x04b0\n0x0600 0x0080\n0x0610 0x0000\n");
    for (int partition = 0; partition < 4; ++partition) {
        EXPECT_EQ(board->nvram(partition), std::vector<uint8_t>(sim::MramPartition::SIZE, 0));
        EXPECT_TRUE(board->nvramChecksumValid(partition));
    }
    EXPECT_EQ(fs::read_symlink(board->boardPath("/mnt/mmb")), "fs0");
    EXPECT_EQ(sim::readFile(board->path("hcp0/opt/mmb/version.dat")), "REVISION=V01L02\n");
    EXPECT_EQ(sim::readFile(board->path("hcp1/opt/mmb/version.dat")), "REVISION=V01L01\n");
    EXPECT_EQ(runSim({"mounts", board->directory()}).out, "/dev/sda1 on /mnt/fs0\n/dev/sda2 on /mnt/fs1\n");
    EXPECT_EQ(shellOnBoard(*board, "cat /mnt/mmb/opt/mmb/version.dat").out, "REVISION=V01L02\n");
}

TEST(Front, create_sets_the_mmb_number_and_the_running_partition)
{
    std::string directory = std::string(MMB_TEST_BOARDS) + "/Front.create_options";
    fs::remove_all(directory);
    ProcessResult created = runSim({"create", directory, "--mmb", "1", "--running", "1"});
    ASSERT_EQ(created.status, 0) << created.err;
    sim::SimBoard board(directory);
    EXPECT_EQ(board.reg(0x72), 0x0100);
    EXPECT_EQ(fs::read_symlink(board.boardPath("/mnt/mmb")), "fs1");
    EXPECT_EQ(runSim({"create", directory}).status, 1);  // a board is never overwritten
}

TEST(Front, reboot_stops_the_programs_and_boots_what_nvram_and_eeprom_name)
{
    TestBoard board;
    board->patchNvram(0, 2, {1});                              // the firmware header's next HCP
    sim::writeFile(board->path("hw/eeprom"), std::string(1, '\1'));  // the bank the board library selected
    sim::writeFile(board->boardPath("/tmp/left-over"), "gone after a reboot\n");
    board->setMounts({{"/dev/mtdblock1", "/tmp/nvrwork"}});
    pid_t running =
        startOnBoard(*board, {"sh", "-c", "touch /tmp/started; exec sleep 600"}, board->path("log/sleep.out"));
    ASSERT_TRUE(waitUntil([&board] { return fs::exists(board->boardPath("/tmp/started")); }));
    ASSERT_EQ(runSim({"reboot", board->directory()}).status, 0);

    int status = 0;
    ASSERT_EQ(waitpid(running, &status, 0), running);  // the board's program is gone
    EXPECT_EQ(fs::read_symlink(board->boardPath("/mnt/mmb")), "fs1");
    EXPECT_EQ(board->reg(0x600), 0x2080);  // bank 1 booted; the power-on flag is the software's to clear
    EXPECT_TRUE(fs::is_empty(board->boardPath("/tmp")));
    EXPECT_EQ(runSim({"mounts", board->directory()}).out, "/dev/sda1 on /mnt/fs0\n/dev/sda2 on /mnt/fs1\n");
    EXPECT_EQ(board->events(), std::vector<std::string>{"boot HCP 1 bank 1"});
}

// The I2C initialisation completes at each boot and removes its marker,
// unless a fault keeps it; only a power cycle sets the power-on flag, and
// only a power cycle forgets a watchdog expiry. Each boot enables the
// watchdog again.
TEST(Front, each_boot_completes_the_i2c_initialisation_and_a_power_cycle_is_a_power_on)
{
    const std::string marker = "/var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE";
    struct Case {
        const char* verb;
        bool fault;
        bool markerKept;
        uint16_t resetType;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"reboot", false, false, 0x0100, {"boot HCP 0 bank 0"}},
        {"reboot", true, true, 0x0100, {"i2c-init incomplete", "boot HCP 0 bank 0"}},
        {"power-cycle", false, false, 0x0080, {"power on", "boot HCP 0 bank 0"}},
        {"power-cycle", true, true, 0x0080, {"power on", "i2c-init incomplete", "boot HCP 0 bank 0"}},
    };
    for (const Case& c : cases) {
        TestBoard board;
        board->setReg(0x600, 0x0100);  // the start-up has cleared the power-on flag; the watchdog expired
        board->setReg(0x610, 0x800F);  // stopped when mmbipmid dumped core
        sim::writeFile(board->boardPath(marker), "");
        if (c.fault) {
            ASSERT_EQ(runSim({"fault", board->directory(), "i2c-init", "times", "1"}).status, 0);
        }
        ASSERT_EQ(runSim({c.verb, board->directory()}).status, 0);
        EXPECT_EQ(fs::exists(board->boardPath(marker)), c.markerKept) << c.verb << c.fault;
        EXPECT_EQ(board->reg(0x600), c.resetType) << c.verb;
        EXPECT_EQ(board->reg(0x610), 0x0000) << c.verb;
        EXPECT_EQ(board->events(), c.events) << c.verb;
    }
}

TEST(Front, a_program_linked_statically_is_refused_the_shim_cannot_reach_it)
{
    TestBoard board;
    ProcessResult result = runSim({"run", board->directory(), "--", MMB_STATIC_PROGRAM});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, std::string("mmb-sim run: ") + MMB_STATIC_PROGRAM +
                              " is linked statically: the simulator's device shim cannot reach it, so it would "
                              "not see the board's devices; link it dynamically\n");
    EXPECT_EQ(runSim({"run", board->directory(), "--", "true"}).status, 0);  // found on the board's PATH
}

TEST(Front, registers_nvram_and_faults_can_be_scripted)
{
    TestBoard board;
    const std::string& dir = board->directory();
    EXPECT_EQ(runSim({"reg", dir, "0x600", "0x2180"}).status, 0);
    EXPECT_EQ(runSim({"reg", dir, "1536"}).out, "0x2180\n");
    EXPECT_EQ(runSim({"patch", dir, "0", "0x1f0", "4d20"}).status, 0);
    EXPECT_EQ(runSim({"nvram", dir, "0", "0x1ee", "20"}).out,
              "01ee: 00 00 4d 20 00 00 00 00 00 00 00 00 00 00 00 00\n01fe: 00 00 00 00\n");
    EXPECT_TRUE(board->nvramChecksumValid(0));  // a patch is a write through the driver
    EXPECT_EQ(runSim({"fault", dir, "cpld-read", "0x600", "EIO", "times", "2"}).status, 0);
    EXPECT_EQ(runSim({"fault", dir, "missing", "mram2"}).status, 0);
    EXPECT_EQ(runSim({"fault", dir, "list"}).out, "cpld-read 0x0600 5 times 2\nopen mram2 2\n");
    EXPECT_EQ(runSim({"fault", dir, "checksum-bad", "1"}).status, 0);
    EXPECT_FALSE(board->nvramChecksumValid(1));
    EXPECT_EQ(runSim({"fault", dir, "clear"}).status, 0);
    EXPECT_EQ(runSim({"fault", dir}).out, "");
}

struct BadInput {
    std::vector<std::string> args;
    const char* message;  // part of standard error
};

TEST(Front, bad_input_gets_a_clear_message_and_status_2)
{
    TestBoard board;
    const std::string& dir = board->directory();
    const BadInput cases[] = {
        {{"reg", "/no/such/board"}, "unknown board '/no/such/board'"},
        {{"reg", dir, "0x1000"}, "bad register '0x1000'"},
        {{"reg", dir, "zz"}, "bad register 'zz'"},
        {{"reg", dir, "0x600", "0x10000"}, "bad register value '0x10000'"},
        {{"reg", dir, "-1"}, "bad register '-1'"},
        {{"patch", dir, "0", "0", "abc"}, "bad hex 'abc'"},
        {{"patch", dir, "0", "0", "zz"}, "bad hex 'zz'"},
        {{"patch", dir, "0", "4095", "0102"}, "past the end of the partition"},
        {{"nvram", dir, "4"}, "bad partition '4'"},
        {{"clock", dir, "4294967296", "0"}, "bad seconds '4294967296' (0 to 4294967295)"},
        {{"fault", dir, "missing", "flash"}, "unknown device 'flash'"},
        {{"log", dir, "dmesg"}, "log is cpld or events"},
        {{"run", dir, "nvram"}, "run BOARD -- COMMAND"},
        {{"frobnicate", dir}, "unknown command 'frobnicate'"},
        {{"reg"}, "usage: mmb-sim"},
    };
    for (const BadInput& c : cases) {
        ProcessResult result = runSim(c.args);
        EXPECT_EQ(result.status, 2) << c.args[0];
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args[0] << ": " << result.err;
    }
}

// A clone in /tmp holds its builds, boards and programs there: the board
// reaches them, yet its /tmp stays its own.
TEST(Front, a_board_under_a_folder_the_board_replaces_runs_with_a_private_tmp)
{
    char scratch[] = "/tmp/mmbsim-front-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    std::string directory = std::string(scratch) + "/board";
    ProcessResult created = runSim({"create", directory});
    ASSERT_EQ(created.status, 0) << created.err;
    sim::SimBoard board(directory);
    ProcessResult result = shellOnBoard(board, "echo own > /tmp/marker && wc -c < /dev/mram0");
    bool ownTmp = fs::exists(board.boardPath("/tmp/marker")) && !fs::exists("/tmp/marker");
    std::string program = std::string(scratch) + "/programs/hello";
    fs::create_directory(std::string(scratch) + "/programs");
    sim::writeFile(program, "#!/bin/sh\necho hello\n");
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    ProcessResult built = runSim({"run", directory, "--", program});
    fs::permissions(scratch, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    ProcessResult local = shellOnBoard(board, "wc -c < /dev/mram0", "nobody");  // so does a local user of the board
    fs::remove_all(scratch);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "4096\n");  // the device shim reached the board's files
    EXPECT_TRUE(ownTmp);
    EXPECT_EQ(built.out, "hello\n") << built.err;
    EXPECT_EQ(local.out, "4096\n") << local.err;
}

TEST(Front, trees_in_folders_grafted_from_the_board_are_refused)
{
    TestBoard board;
    for (const char* peer : {"/etc/mmbsim-peer", "/usr/sbin/mmbsim-peer", "/dev/mmbsim-peer"}) {
        board->setDualSetting("peer", peer);
        ProcessResult result = runSim({"run", board->directory(), "--", "true"});
        EXPECT_EQ(result.status, 1) << peer;
        EXPECT_NE(result.err.find(std::string(peer) + " lies under /"), std::string::npos) << result.err;
    }
}

} // namespace
