// The decoder's parsing in-process: known bytes give exact texts, the
// reporters and units, down-info first lines, texts that need escaping; the
// board history told by its content, oldest first, torn slots skipped.
#include "InitMMBHistory.h"
#include "RecordDecoder.h"
#include "RecordPrinter.h"
#include "StoredBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using History = InitMMBHistory;

// A boot ROM selection failure on MMB 1 for bank 1, made at 1593835520 s and 123456 us.
const Bytes SELECTION_FAILURE = {0x5F, 0x00, 0x00, 0x00, 0x00, 0x01, 0xE2, 0x40,
                                 0x02, 0xF1, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00};

Bytes errorLog(uint32_t seconds, uint32_t micros, uint8_t unitCode, uint8_t firstCode)
{
    return errorLogRecord(seconds, micros, {firstCode, 0, 0, 0, 0, 0}, 2, unitCode);
}

std::string textOf(const DecodedRecord& record, const std::string& name)
{
    for (const DecodedField& field : record.fields())
        if (field.name == name)
            return field.text;
    return "(absent)";
}

// Its JSON is the partition's down log below, beside the file and form
// the explanations test shows.
TEST(RecordDecoder, error_record_prints_for_a_person)
{
    EXPECT_EQ(recordText("1593835520.123", RecordForm::ErrorLog, decodeErrorLog(SELECTION_FAILURE.data())),
              "1593835520.123: error log record\n"
              "  time         = 2020-07-04 04:05:20.123 UTC\n"
              "  seconds      = 1593835520\n"
              "  microseconds = 123456\n"
              "  kind         = 2\n"
              "  unitCode     = 0xF1 (MMB 1)\n"
              "  reporter     = boot ROM bank selection failure\n"
              "  code         = 04 01 00 00 00 00\n");
}

TEST(RecordDecoder, first_code_byte_names_the_reporter_and_unit_code_the_unit)
{
    const std::tuple<uint8_t, uint8_t, const char*, const char*> cases[] = {
        {0xF0, 2, "reporter", "watchdog timer register access"},  // the first and last of the table
        {0xF0, 0x39, "reporter", "invalid file open mode"},
        {0xF0, 0, "reporter", "unknown"},
        {0xF0, 0xFF, "reporter", "unknown"},
        {0xF0, 4, "unitCode", "0xF0 (MMB 0)"},
        {0xF1, 4, "unitCode", "0xF1 (MMB 1)"},
        {0xC2, 4, "unitCode", "0xC2 (firmware update)"},
        {0x00, 4, "unitCode", "0x00 (unknown)"},
    };
    for (const auto& [unit, code, field, text] : cases)
        EXPECT_EQ(textOf(decodeErrorLog(errorLog(0, 0, unit, code).data()), field), text) << int(unit) << int(code);
}

TEST(RecordDecoder, time_is_utc_with_milliseconds_or_none_when_the_microseconds_are_impossible)
{
    const std::tuple<uint32_t, uint32_t, const char*, const char*> cases[] = {
        {1000, 5000, "1970-01-01 00:16:40.005 UTC", "\"1970-01-01T00:16:40.005Z\""},
        {1000, 999999, "1970-01-01 00:16:40.999 UTC", "\"1970-01-01T00:16:40.999Z\""},
        {0x7FFFFFFF, 0, "2038-01-19 03:14:07.000 UTC", "\"2038-01-19T03:14:07.000Z\""},
        {0x80000000, 0, "2038-01-19 03:14:08.000 UTC", "\"2038-01-19T03:14:08.000Z\""},  // stored unsigned
        {0xFFFFFFFF, 0, "2106-02-07 06:28:15.000 UTC", "\"2106-02-07T06:28:15.000Z\""},
        {1000, 1000000, "none: microseconds out of range", "null"},
        {1000, 0xFFFFFFFF, "none: microseconds out of range", "null"},
    };
    for (const auto& [seconds, micros, text, json] : cases) {
        DecodedRecord record = decodeErrorLog(errorLog(seconds, micros, 0xF0, 4).data());
        EXPECT_EQ(record.fields()[0].text, text);
        EXPECT_EQ(record.fields()[0].json, json);
    }
}

TEST(RecordDecoder, down_info_names_the_process_explains_its_status_and_keeps_its_text)
{
    Bytes bytes = downInfoFile("process(mmbipmid:321) down with status(008b)\n0.10 0.20 0.30 1/80 999\n"
                           "1024\t0\t9000\nMemTotal:  1024 kB\n");
    bytes[2000] = 'o';  // left by an earlier, longer text
    bytes[2047] = 'k';
    EXPECT_EQ(recordText("init_downinfo.2147483648", RecordForm::DownInfo,
                         decodeDownInfo("init_downinfo.2147483648", bytes.data())),
              "init_downinfo.2147483648: down-info file\n"
              "  time       = 2038-01-19 03:14:08 UTC\n"
              "  seconds    = 2147483648\n"
              "  module     = mmbipmid\n"
              "  pid        = 321\n"
              "  status     = 0x008B (signal 11, core dumped)\n"
              "  text       = process(mmbipmid:321) down with status(008b)\n"
              "               0.10 0.20 0.30 1/80 999\n"
              "               1024\\x090\\x099000\n"
              "               MemTotal:  1024 kB\n"
              "               \n"
              "  staleBytes = 2 (non-zero bytes after the text, left by an earlier death)\n");
}

TEST(RecordDecoder, down_info_first_line_is_read_only_when_it_has_the_managers_form)
{
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"process(ntpd:12) down with status(0100)", "ntpd", "12", "0x0100 (exit code 1)"},
        {"process(a:b:7) down with status(0009)", "a:b", "7", "0x0009 (signal 9)"},
        {"process(:7) down with status(ffffffff)", "", "7", "0xFFFFFFFF (signal 127, core dumped)"},
        {"process(x:-1) down with status(0)", "x", "-1", "0x0000 (exit code 0)"},
        {"process(x) down with status(0000)", "(absent)", "(absent)", "(absent)"},
        {"process(x:) down with status(0000)", "(absent)", "(absent)", "(absent)"},
        {"process(x:1) down with status()", "(absent)", "(absent)", "(absent)"},
        {"process(x:1) down with status(1g)", "(absent)", "(absent)", "(absent)"},
        {"process(x:1) down with status(100000000)", "(absent)", "(absent)", "(absent)"},
        {"process(x:1) down with status(0000", "(absent)", "(absent)", "(absent)"},
        {"process(x:99999999999) down with status(0)", "(absent)", "(absent)", "(absent)"},
        {"process() down with status()", "(absent)", "(absent)", "(absent)"},
        {"process(", "(absent)", "(absent)", "(absent)"},
    };
    for (const auto& [line, module, pid, status] : cases) {
        DecodedRecord record = decodeDownInfo("down", downInfoFile(line + "\nrest").data());
        EXPECT_EQ(textOf(record, "module"), module) << line;
        EXPECT_EQ(textOf(record, "pid"), pid) << line;
        EXPECT_EQ(textOf(record, "status"), status) << line;
        EXPECT_EQ(textOf(record, "text"), line + "\nrest") << line;
    }
}

TEST(RecordDecoder, stored_texts_are_escaped_for_people_and_scripts)
{
    Bytes record(380, 0);
    const std::string revision = "A\"\\\x01\xFF" "BCDEFG";  // 11 bytes, no NUL
    std::copy(revision.begin(), revision.end(), record.begin() + 355);
    record[366] = 'X';
    DecodedRecord decoded = decodeStartupRecord(record.data());
    const DecodedField& current = decoded.fields()[decoded.fields().size() - 2];
    const DecodedField& next = decoded.fields().back();
    EXPECT_EQ(current.name, "prevCurrentHcpRev");
    EXPECT_EQ(current.text, "A\"\\x5C\\x01\\xFFBCDEFG");
    EXPECT_EQ(current.json, "\"A\\\"\\\\\\u0001\\u00FFBCDEFG\"");
    EXPECT_EQ(next.text, "X") << "the field after an unterminated one is read on its own";
}

TEST(RecordDecoder, partition_identification_is_valid_damaged_or_missing)
{
    const std::string reinitialised = ": the next start or nvram run re-initialises the partition";
    const std::pair<Bytes, std::string> cases[] = {
        {{'M', ' ', 'M', 'M', 'B', 'I', 'n', 'i', 't', 0}, "valid"},
        {{'M', '?', 'M', 'M', 'B', 'I', 'n', 'i', 't', 0}, "valid"},  // byte 1 is not compared
        {{'M', ' ', 'M', 'M', 'B', 'I', 'n', 'i', 't', '!'}, "damaged, only the 'M' byte matches" + reinitialised},
        {{'m', ' ', 'M', 'M', 'B', 'I', 'n', 'i', 't', 0}, "damaged, only the name matches" + reinitialised},
        {Bytes(10, 0), "missing" + reinitialised},
    };
    for (const auto& [block, text] : cases) {
        Bytes image(4096, 0);
        std::copy(block.begin(), block.end(), image.begin() + 0x1F0);
        EXPECT_EQ(textOf(decodePartition(image.data(), image.size()), "identification"), text);
    }
}

TEST(RecordDecoder, partition_reads_its_areas_big_endian_and_nests_the_down_log)
{
    Bytes image(506, 0);
    image[0] = 'R';
    image[5] = 0xFF;
    image[7] = 1;
    image[8] = 7;
    image[36 + 3] = 1;
    std::copy(SELECTION_FAILURE.begin(), SELECTION_FAILURE.end(), image.begin() + 40);
    image[56] = 0xFF, image[57] = 0xFF, image[58] = 0xFF, image[59] = 0xFF;
    EXPECT_EQ(recordJson("p", RecordForm::Partition, decodePartition(image.data(), image.size())),
              "{\"file\":\"p\",\"form\":\"partition\",\"size\":506,\"firmUpMode\":82,\"firmUpModeMeaning\":\"'R', "
              "recovery\",\"currentHcpNo\":0,\"nextHcpNo\":0,\"currentBootRom\":0,\"nextBootRom\":0,\"bootRomChange\":255,"
              "\"firmChange\":0,\"partStatus\":[1,7],\"partStatusMeaning\":\"HCP 0 updating, HCP 1 unknown\",\"spare\":0,"
              "\"currentHcpRev\":\"\",\"nextHcpRev\":\"\",\"rebootCount\":0,\"suppressMode\":0,\"downLogFlag\":1,"
              "\"downLogFlagMeaning\":\"a down log is recorded\",\"downLog\":{\"time\":\"2020-07-04T04:05:20.123Z\","
              "\"seconds\":1593835520,\"microseconds\":123456,\"kind\":2,\"unitCode\":241,\"unitCodeMeaning\":\"MMB 1\","
              "\"reporter\":\"boot ROM bank selection failure\",\"code\":[4,1,0,0,0,0]},\"logCount\":-1,"
              "\"logCountMeaning\":\"out of range 0..16\",\"vlanMode\":0,\"identification\":\"missing\","
              "\"identificationMeaning\":\"missing: the next start or nvram run re-initialises the partition\"}\n");
}

// Every explanation the text gives in parentheses or after the value, a
// script finds as "<name>Meaning" beside the value.
TEST(RecordDecoder, json_carries_every_explanation_of_the_text)
{
    Bytes image(506, 0);
    image[0] = 'F';
    Bytes down = downInfoFile("process(alpha:7) down with status(008b)");
    down[2000] = 1;
    const std::pair<std::string, std::string> cases[] = {
        {recordJson("p", RecordForm::Partition, decodePartition(image.data(), image.size())),
         "\"firmUpMode\":70,\"firmUpModeMeaning\":\"'F', firmware apply requested\","},
        {recordJson("e", RecordForm::ErrorLog, decodeErrorLog(errorLog(1, 1000000, 0xF0, 4).data())),
         "{\"file\":\"e\",\"form\":\"error-log\",\"time\":null,\"timeMeaning\":\"none: microseconds out of "
         "range\","},
        {recordJson("d", RecordForm::DownInfo, decodeDownInfo("init_downinfo.x", down.data())),
         "{\"file\":\"d\",\"form\":\"down-info\",\"time\":null,\"timeMeaning\":\"none: the file name holds no "
         "time\",\"module\":\"alpha\",\"pid\":7,\"status\":139,\"statusMeaning\":\"signal 11, core dumped\","},
        {recordJson("d", RecordForm::DownInfo, decodeDownInfo("init_downinfo.60", down.data())),
         "\"staleBytes\":1,\"staleBytesMeaning\":\"non-zero bytes after the text, left by an earlier death\"}"},
        {recordJson("s", RecordForm::StartupRecord, decodeStartupRecord(Bytes(380, 'R').data())),
         "\"firmUpModeAtStart\":82,\"firmUpModeAtStartMeaning\":\"'R', recovery\","},
    };
    for (const auto& [json, member] : cases)
        EXPECT_NE(json.find(member), std::string::npos) << member << "\n" << json;
}

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

TEST(RecordDecoder, history_one_line_per_record_oldest_first_the_torn_slot_skipped_and_json_explained)
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
