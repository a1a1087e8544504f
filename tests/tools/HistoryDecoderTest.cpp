// The board history decoded in-process: told by its content, one line per
// record oldest first, torn slots skipped, the explanations in JSON.
#include "InitMMBHistory.h"
#include "RecordDecoder.h"
#include "RecordPrinter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using History = InitMMBHistory;

// A ring whose slot 0 holds record 2 (the newest, an ordered change to
// Active after an update was rolled back), slot 1 record 1, and slot 2 a
// record cut short by a power cut.
Bytes ring()
{
    History::Record started = {1, 1593835520, History::START, History::PROVISIONAL, 1, 1, 0,
                               'R', 1, 0, 0, 0, "V01L02", "V01L01"};
    History::Record changed = started;
    changed.sequence = 2;
    changed.seconds += 60;
    changed.kind = History::MODE;
    changed.reason = History::ORDERED;
    changed.role = 0;
    Bytes bytes(3 * History::RECORD_SIZE);
    changed.pack(bytes.data());
    started.pack(bytes.data() + History::RECORD_SIZE);
    started.pack(bytes.data() + 2 * History::RECORD_SIZE);
    bytes.resize(bytes.size() - 5);
    return bytes;
}

TEST(HistoryDecoder, one_line_per_record_oldest_first_the_torn_slot_skipped_and_json_explained)
{
    Bytes bytes = ring();
    RecordForm form;
    ASSERT_TRUE(detectForm(bytes.data(), bytes.size(), form));
    EXPECT_EQ(form, RecordForm::History);
    EXPECT_EQ(recordText("history", form, decodeHistory(bytes.data(), bytes.size())),
              "history: board history\n"
              "  size    = 139\n"
              "  records = 2 (at most 256, the newest kept)\n"
              "  skipped = 1\n"
              "  record1 = 2020-07-04 04:05:20 UTC start (provisional): MMB 0 Standby, REBOOT, HCP 1 \"V01L02\" next "
              "HCP 0 \"V01L01\", boot ROM bank 0 next 0, update mode 'R', recovery\n"
              "  record2 = 2020-07-04 04:06:20 UTC mode (ordered change): MMB 0 Active, REBOOT, HCP 1 \"V01L02\" "
              "next HCP 0 \"V01L01\", boot ROM bank 0 next 0, update mode 'R', recovery\n"
              "  slot2   = skipped (torn or damaged: cut short, or its magic or CRC is wrong; not read)\n");

    std::string json = recordJson("history", RecordForm::History, decodeHistory(bytes.data(), bytes.size()));
    const char* const members[] = {
        "\"record2\":{\"time\":\"2020-07-04T04:06:20Z\",\"seconds\":1593835580,\"sequence\":2,\"kind\":2,"
        "\"kindMeaning\":\"mode\",\"reason\":3,\"reasonMeaning\":\"ordered change\",\"role\":0,\"roleMeaning\":"
        "\"Active\",\"bootCause\":1,\"bootCauseMeaning\":\"REBOOT\",\"mmbId\":0,\"mmbIdMeaning\":\"MMB 0\","
        "\"firmUpMode\":82,\"firmUpModeMeaning\":\"'R', recovery\",\"currentHcpNo\":1,\"nextHcpNo\":0,"
        "\"currentBootRom\":0,\"nextBootRom\":0,\"currentHcpRev\":\"V01L02\",\"nextHcpRev\":\"V01L01\"}",
        "\"slot2\":\"skipped\",\"slot2Meaning\":\"torn or damaged: cut short, or its magic or CRC is wrong; not "
        "read\"",
    };
    for (const char* member : members)
        EXPECT_NE(json.find(member), std::string::npos) << member << "\nin " << json;

    bytes[History::RECORD_SIZE - 1] ^= 0xFF;  // the first record torn: no longer told by content
    EXPECT_FALSE(detectForm(bytes.data(), bytes.size(), form) && form == RecordForm::History);
}

} // namespace
