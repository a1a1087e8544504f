// nvram's command line: which option runs, what it prints, what it stores.
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <csignal>

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
};

Header with(Header header, void (*change)(Header&))
{
    change(header);
    return header;
}

TEST(NvramOptions, each_command_line_runs_the_option_it_names_last)
{
    const std::string info = firmInfo(STORED, 7, 1);
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
    };
    for (const OptionCase& c : cases) {
        std::string name;
        for (const std::string& arg : c.args)
            name += arg + " ";
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        board->patchNvram(0, 32, {7, 1});
        ProcessResult result = runNvram(*board, c.args);
        EXPECT_EQ(result.status, 0) << name << result.err;
        EXPECT_EQ(result.out, c.out) << name;
        std::string err = result.err;  // getopt names argv[0], a full path under valgrind
        if (!err.empty() && err[0] == '/')
            err.erase(0, err.rfind('/', err.find(':')) + 1);
        EXPECT_EQ(err, c.err) << name;
        EXPECT_EQ(nvramBytes(*board, 0, 32), c.after.bytes()) << name;
        EXPECT_EQ(nvramBytes(*board, 32, 2), c.counters) << name;
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

struct RevisionCase {
    uint8_t current;
    uint8_t next;
    const char* hcp;
    const char* currentRev;  // afterwards
    const char* nextRev;
};

TEST(NvramOptions, revision_text_goes_to_the_fields_of_that_hcp)
{
    const RevisionCase cases[] = {
        {0, 1, "1", "HCP0-V01L02", "V2"}, {0, 1, "0", "V2", "HCP1-V01L01"},
        {0, 0, "0", "V2", "V2"},          {0, 0, "1", "HCP0-V01L02", "HCP1-V01L01"},
    };
    for (const RevisionCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        Header stored = STORED;
        stored.currentHcpNo = c.current;
        stored.nextHcpNo = c.next;
        makeHealthy(*board, stored);
        runNvram(*board, {"-m", c.hcp, "V2"});
        Header expected = stored;
        expected.currentHcpRev = c.currentRev;
        expected.nextHcpRev = c.nextRev;
        EXPECT_EQ(nvramBytes(*board, 0, 32), expected.bytes()) << int(c.current) << int(c.next) << c.hcp;
    }
}

TEST(NvramOptions, apply_stores_the_request_before_the_reboot_runs)
{
    TestBoard board;
    makeHealthy(*board, STORED);
    ProcessResult result = runNvram(*board, {"-a"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(board->events(), std::vector<std::string>{"reboot"});
    EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{'F'});

    board->addFault("tool reboot 1");
    board->patchNvram(0, 0, {0});
    EXPECT_EQ(runNvram(*board, {"-a"}).status, 1);
    EXPECT_EQ(nvramBytes(*board, 0, 1), Bytes{'F'});
}

struct RequestCase {
    std::vector<std::string> args;
    const char* fault;  // armed before the run, or empty
    std::string out;
};

TEST(NvramOptions, partition_requests_report_what_the_driver_did)
{
    const RequestCase cases[] = {
        {{"-g", "1"}, "", "complete to generate checksum of partition#1(/dev/mram1)\n"},
        {{"-e", "3"}, "", "complete to initialize partition#3(/dev/mram3)\n"},
        {{"-g", "2"}, "missing mram2", ""},
        {{"-e", "2"}, "missing mram2", ""},
        {{"-e", "1"}, "mram-request 1 init EIO",
         "ioctl error(5)\ncomplete to initialize partition#1(/dev/mram1)\n"},
        {{"-g", "0"}, "mram-request 0 checksum EBUSY",
         "ioctl error(16)\ncomplete to generate checksum of partition#0(/dev/mram0)\n"},
    };
    for (const RequestCase& c : cases) {
        TestBoard board({}, std::to_string(&c - cases));
        makeHealthy(*board, STORED);
        if (*c.fault != '\0')
            board->addFault(c.fault);
        ProcessResult result = runNvram(*board, c.args);
        EXPECT_EQ(result.status, 0) << c.args[0] << c.args[1];
        EXPECT_EQ(result.out, c.out) << c.args[0] << c.args[1];
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
