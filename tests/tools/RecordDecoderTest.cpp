// The decoder's parsing in-process: known bytes give exact texts, the
// reporters and units, down-info first lines, texts that need escaping.
#include "RecordDecoder.h"
#include "RecordPrinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A boot ROM selection failure on MMB 1 for bank 1, made at 1593835520 s and 123456 us.
const Bytes SELECTION_FAILURE = {0x5F, 0x00, 0x00, 0x00, 0x00, 0x01, 0xE2, 0x40,
                                 0x02, 0xF1, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00};

std::string textOf(const DecodedRecord& record, const std::string& name)
{
    for (const DecodedField& field : record.fields())
        if (field.name == name)
            return field.text;
    return "(absent)";
}

Bytes errorLog(uint32_t seconds, uint32_t micros, uint8_t unitCode, uint8_t firstCode)
{
    Bytes bytes = SELECTION_FAILURE;
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(seconds >> (24 - 8 * i));
        bytes[4 + i] = static_cast<uint8_t>(micros >> (24 - 8 * i));
    }
    bytes[9] = unitCode;
    bytes[10] = firstCode;
    return bytes;
}

Bytes downInfo(const std::string& text)
{
    Bytes bytes(DOWN_INFO_SIZE, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

TEST(RecordDecoder, error_record_prints_for_a_person_and_for_a_script)
{
    DecodedRecord record = decodeErrorLog(SELECTION_FAILURE.data());
    EXPECT_EQ(recordText("1593835520.123", RecordForm::ErrorLog, record),
              "1593835520.123: error log record\n"
              "  time         = 2020-07-04 04:05:20.123 UTC\n"
              "  seconds      = 1593835520\n"
              "  microseconds = 123456\n"
              "  kind         = 2\n"
              "  unitCode     = 0xF1 (MMB 1)\n"
              "  reporter     = boot ROM bank selection failure\n"
              "  code         = 04 01 00 00 00 00\n");
    EXPECT_EQ(recordJson("1593835520.123", RecordForm::ErrorLog, record),
              "{\"file\":\"1593835520.123\",\"form\":\"error-log\",\"time\":\"2020-07-04T04:05:20.123Z\","
              "\"seconds\":1593835520,\"microseconds\":123456,\"kind\":2,\"unitCode\":241,"
              "\"unitCodeMeaning\":\"MMB 1\","
              "\"reporter\":\"boot ROM bank selection failure\",\"code\":[4,1,0,0,0,0]}\n");
}

TEST(RecordDecoder, first_code_byte_names_the_reporter_and_unit_code_the_unit)
{
    const std::pair<uint8_t, const char*> reporters[] = {
        {2, "watchdog timer register access"},  // the first and last of the table
        {0x39, "invalid file open mode"},
        {0, "unknown"},
        {0xFF, "unknown"},
    };
    for (const auto& [code, reporter] : reporters)
        EXPECT_EQ(textOf(decodeErrorLog(errorLog(0, 0, 0xF0, code).data()), "reporter"), reporter) << int(code);
    const std::pair<uint8_t, const char*> units[] = {
        {0xF0, "0xF0 (MMB 0)"}, {0xF1, "0xF1 (MMB 1)"}, {0xC2, "0xC2 (firmware update)"}, {0x00, "0x00 (unknown)"}};
    for (const auto& [code, unit] : units)
        EXPECT_EQ(textOf(decodeErrorLog(errorLog(0, 0, code, 4).data()), "unitCode"), unit) << int(code);
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
    Bytes bytes = downInfo("process(mmbipmid:321) down with status(008b)\n0.10 0.20 0.30 1/80 999\n"
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
        DecodedRecord record = decodeDownInfo("down", downInfo(line + "\nrest").data());
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
    Bytes down = downInfo("process(alpha:7) down with status(008b)");
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

} // namespace
