// nvram's command line: which option runs, what it prints, what it stores.
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <tuple>

namespace {

// A recovery mode above 9 shows the display's hexadecimal; revisions of 11
// characters, its exact width.
const Header STORED = {'R', 0, 1, 0, 1, 0, 0, 0, 1, "HCP0-V01L02", "HCP1-V01L01"};
const std::string INVALID = "Invalid parameter specified.\n";

struct OptionCase {
    std::vector<std::string> args;
    std::string out;
    Header after;  // the header NVRAM holds afterwards
    std::string err = "";  // getopt's complaint
    Bytes counters = {7, 1};  // reboot count and suppress mode afterwards
    std::vector<std::string> events = {};  // what reached the board's devices and tools
    const char* fault = "";  // armed before the run
    int status = 0;
};

Header with(Header header, void (*change)(Header&))
{
    change(header);
    return header;
}

TEST(NvramOptions, each_command_line_runs_the_option_it_names_last)
{
    const std::string info = firmInfo(STORED, 7, 1);
    const Header applying = with(STORED, [](Header& h) { h.firmUpMode = 'F'; });
    const OptionCase cases[] = {
        {{}, info, STORED},
        {{"-d"}, info, STORED},
        {{"-h"}, USAGE, STORED},
        {{"-x"}, USAGE, STORED, "nvram: invalid option -- 'x'\n"},
        {{"-s", "2"}, INVALID + USAGE, STORED},
        {{"-s", "-1"}, INVALID + USAGE, STORED},
        {{"-s", "4294967297"}, INVALID + USAGE, STORED},  // beyond int: refused, not wrapped to 1
        {{"-s", "-4294967295"}, INVALID + USAGE, STORED},
        {{"-b", "2"}, INVALID + USAGE, STORED},
        {{"-g", "4"}, INVALID + USAGE, STORED},
        {{"-e", "-1"}, INVALID + USAGE, STORED},
        {{"-m", "2", "V9"}, INVALID + USAGE, STORED},
        {{"-u", "5", "normal"}, INVALID + USAGE, STORED},
        {{"-u", "0", "update"}, USAGE, STORED},
        {{"-m", "0"}, USAGE, STORED},
        {{"-u", "1"}, USAGE, STORED},
        {{"-s"}, USAGE, STORED, "nvram: option requires an argument -- 's'\n"},
        {{"-s", "abc"}, "", with(STORED, [](Header& h) { h.nextHcpNo = 0; })},
        {{"-s", "1", "-d"}, info, STORED},
        {{"-d", "-s", "0"}, "", with(STORED, [](Header& h) { h.nextHcpNo = 0; })},
        {{"-r"}, "", STORED, "", {0, 0}},
        {{"-s", "2", "-d"}, INVALID + info, STORED},
        {{"-u", "0", "updating"}, "", with(STORED, [](Header& h) { h.partStatus0 = 1; })},
        {{"-u", "1", "normal"}, "", with(STORED, [](Header& h) { h.partStatus1 = 0; })},
        {{"-m", "1", "V02L00"}, "", with(STORED, [](Header& h) { h.nextHcpRev = "V02L00"; })},
        {{"-m", "0", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"}, "",
         with(STORED, [](Header& h) { h.currentHcpRev = "ABCDEFGHIJK"; })},
        {{"-i"}, "", with(STORED, [](Header& h) {
             h.firmUpMode = 0;
             h.nextHcpNo = 0;
             h.nextBootRom = 0;
             h.currentHcpRev = h.nextHcpRev = "";
         }), "", {0, 0}},
        // The request is stored before the reboot runs, and stays when the reboot fails.
        {{"-a"}, "", applying, "", {7, 1}, {"reboot"}},
        {{"-a"}, "", applying, "reboot: simulated failure\n", {7, 1}, {"reboot"}, "tool reboot 1", 1},
        {{"-g", "1"}, "complete to generate checksum of partition#1(/dev/mram1)\n", STORED, "", {7, 1},
         {"ioctl /dev/mram1 " + REGENERATE_REQUEST}},
        {{"-e", "3"}, "complete to initialize partition#3(/dev/mram3)\n", STORED, "", {7, 1},
         {"ioctl /dev/mram3 " + INITIALIZE_REQUEST}},
        {{"-g", "2"}, "", STORED, "", {7, 1}, {}, "missing mram2"},
        {{"-e", "2"}, "", STORED, "", {7, 1}, {}, "missing mram2"},
        {{"-e", "1"}, "ioctl error(5)\ncomplete to initialize partition#1(/dev/mram1)\n", STORED, "", {7, 1},
         {"ioctl /dev/mram1 " + INITIALIZE_REQUEST}, "mram-request 1 init EIO"},
        {{"-g", "0"}, "ioctl error(16)\ncomplete to generate checksum of partition#0(/dev/mram0)\n", STORED, "", {7, 1},
         {"ioctl /dev/mram0 " + REGENERATE_REQUEST}, "mram-request 0 checksum EBUSY"},
    };
    for (const OptionCase& c : cases) {
        std::string name;
        for (const std::string& arg : c.args)
            name += arg + " ";
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->patchNvram(0, 32, {7, 1});
        if (*c.fault != '\0')
            board->addFault(c.fault);
        ProcessResult result = runNvram(*board, c.args);
        EXPECT_EQ(result.status, c.status) << name << result.err;
        EXPECT_EQ(result.out, c.out) << name;
        std::string err = result.err;  // getopt names argv[0], a full path under valgrind
        if (!err.empty() && err[0] == '/')
            err.erase(0, err.rfind('/', err.find(':')) + 1);
        EXPECT_EQ(err, c.err) << name;
        EXPECT_EQ(nvramBytes(*board, 0, 32), c.after.bytes()) << name;
        EXPECT_EQ(nvramBytes(*board, 32, 2), c.counters) << name;
        EXPECT_EQ(board->events(), c.events) << name;
    }
}

// The usage too comes after the state load: with the power gone at the
// load's first NVRAM write (a fresh board's rebuild), nothing was printed,
// though every byte goes out at once.
TEST(NvramOptions, usage_comes_only_after_the_state_is_loaded)
{
    TestBoard board;
    board->addFault("mram-cut 0 0");
    ProcessResult result = runOnBoard(*board, {"stdbuf", "-o0", "nvram", "-h"});
    EXPECT_EQ(result.status, 128 + SIGKILL);
    EXPECT_EQ(result.out, "");
}

// The table above has current HCP 0 and next HCP 1; with both 0, HCP 0
// names both fields and HCP 1 neither.
TEST(NvramOptions, revision_text_goes_to_the_fields_of_that_hcp)
{
    const Header stored = with(STORED, [](Header& h) { h.nextHcpNo = 0; });
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"0", "V2", "V2"}, {"1", "HCP0-V01L02", "HCP1-V01L01"}};
    for (const auto& [hcp, currentRev, nextRev] : cases) {
        TestBoard board({}, hcp);
        makeHealthy(*board, stored);
        runNvram(*board, {"-m", hcp, "V2"});
        Header expected = stored;
        expected.currentHcpRev = currentRev;
        expected.nextHcpRev = nextRev;
        EXPECT_EQ(nvramBytes(*board, 0, 32), expected.bytes()) << hcp;
    }
}

TEST(NvramOptions, initialise_clears_the_update_state_and_keeps_the_rest)
{
    TestBoard board;
    const Header stored = {'F', 1, 0, 1, 0, 1, 1, 1, 1, "V07", "V08"};
    makeHealthy(*board, stored);
    board->patchNvram(0, 32, {4, 1});
    board->patchNvram(0, 36, {0, 0, 0, 1, 0xAB});
    board->patchNvram(0, 318, {2});
    EXPECT_EQ(runNvram(*board, {"-i"}).out, "");
    const Header cleared = {0, 0, 0, 1, 1, 1, 1, 1, 1, "", ""};
    Bytes expected = cleared.bytes();
    expected.insert(expected.end(), {0, 0, 0, 0, 0, 0, 0, 1, 0xAB});
    EXPECT_EQ(nvramBytes(*board, 0, 41), expected);
    EXPECT_EQ(nvramBytes(*board, 318, 1), Bytes{2});
}

} // namespace
