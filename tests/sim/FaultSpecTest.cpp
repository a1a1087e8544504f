#include "FaultSpec.h"
#include "FaultTable.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct Canonical {
    const char* spec;
    const char* line;
};

TEST(FaultSpec, writes_the_form_the_drivers_match)
{
    const Canonical cases[] = {
        {"missing cpld", "open cpld 2"},
        {"open mram2 EBUSY", "open mram2 16"},
        {"cpld-read 0x600 EIO", "cpld-read 0x0600 5"},
        {"cpld-write 1552 13", "cpld-write 0x0610 13"},
        {"mram-request 0 checksum EIO", "mram-request 0 checksum 5"},
        {"mram-cut 0 7", "mram-cut 0 7 times 1"},
        {"mram-change 0 0x2 01FF after 2", "mram-change 0 2 01FF after 2 times 1"},
        {"tool mount 32 times 3", "tool mount 32 times 3"},
        {"script ntpd restart 0x7f", "script ntpd restart 127"},
        {"cpld-read 0x600 5 after 2 times 1", "cpld-read 0x0600 5 after 2 times 1"},
        {"reboot-call EPERM", "reboot-call 1"},
        {"feeder-hang", "feeder-hang"},
        {"peer-link", "peer-link"},
    };
    for (const Canonical& c : cases)
        EXPECT_EQ(sim::FaultSpec::canonical(c.spec), c.line) << c.spec;
}

TEST(FaultSpec, rejects_what_no_driver_could_match)
{
    const char* bad[] = {
        "",                          // nothing
        "missing flash",             // no such device
        "cpld-read 0x1000 5",        // no such register
        "cpld-read 0x600 EWHAT",     // unknown errno name
        "mram-request 4 init 5",     // no such partition
        "reboot-call",               // no errno
        "feeder-hang mmbipmid",      // the feeder is not named
        "mram-request 0 erase 5",    // no such request
        "mram-change 0 4095 0102",   // runs past the partition
        "mram-change 0 0 abc",       // odd number of hex digits
        "tool mount 0",              // a failure needs a non-zero status
        "tool cp 1",                 // not a simulated tool
        "script sshd start 1",       // not an init script of the board
        "script ntpd reload 1",      // not a verb the library uses
        "script ntpd stop 0",        // a failure needs a non-zero status
        "script ntpd stop 1 times 1",  // the scripts keep no counters
        "peer-link after 2",         // a state the link is in, not counted
        "open cpld 5 times 0",       // counters start at 1
        "open cpld 5 after 2 after 3",  // one counter of each kind
        "cpld-read 0x600 0",         // errno 0 is no failure
        "missing cpld extra",        // too many words
    };
    for (const char* spec : bad)
        EXPECT_THROW(sim::FaultSpec::canonical(spec), std::invalid_argument) << spec;
}

TEST(FaultTable, counts_after_and_times_then_removes_the_fault)
{
    sim::FaultTable table;
    ASSERT_TRUE(table.parseText("cpld-read 0x0600 5 after 2 times 2\nopen cpld 2\n"));
    int index = table.find("cpld-read", "0x0600");
    ASSERT_EQ(index, 0);
    EXPECT_FALSE(table.count(index));  // first read passes
    EXPECT_TRUE(table.count(index));   // second fails
    EXPECT_TRUE(table.count(index));   // third fails, firings used up
    EXPECT_EQ(table.find("cpld-read", "0x0600"), -1);
    ASSERT_EQ(table.find("open", "cpld"), 0);
    EXPECT_TRUE(table.count(0));
    EXPECT_TRUE(table.count(0));  // no "times": fires until cleared
    EXPECT_EQ(table.find("open", "mram0"), -1);

    char text[256];
    ASSERT_TRUE(table.formatText(text, sizeof text));
    EXPECT_STREQ(text, "open cpld 2\n");
}

} // namespace
