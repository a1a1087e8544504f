#include "InitErrorLog.h"

#include "DebugRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/time.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

[[maybe_unused]] ::testing::Environment* const logRoot =
    ::testing::AddGlobalTestEnvironment(new DebugRoot({"/var/mmb/log/init"}));

std::string logDir()
{
    return debugRoot() + "/var/mmb/log/init/";
}

Bytes fileBytes(const std::string& name)
{
    std::ifstream in(logDir() + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A record stamped with a chosen time, as if it had been made then.
InitErrorLog recordAt(int32_t seconds, int32_t microseconds, int kind, int unit, uint8_t code0)
{
    InitErrorLog record(kind, unit, code0, 1, 0, 0, 0, 0);
    record.time = {seconds, microseconds};
    return record;
}

long long microsecondsNow()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return now.tv_sec * 1000000LL + now.tv_usec;
}

TEST(ErrorLog, unit_number_gives_the_unit_code)
{
    const std::pair<int, uint8_t> cases[] = {{0, 0xF0}, {1, 0xF1}, {2, 0xC2}, {7, 0xF1}};
    for (const auto& [unit, code] : cases)
        EXPECT_EQ(InitErrorLog(1, unit, 0, 0, 0, 0, 0, 0).unitCode, code) << "unit " << unit;
}

TEST(ErrorLog, constructor_keeps_low_kind_byte_and_codes_and_takes_the_time)
{
    const long long before = microsecondsNow();
    InitErrorLog record(0x103, 0, 9, 8, 7, 6, 5, 4);
    const long long after = microsecondsNow();

    EXPECT_TRUE(record.valid);
    EXPECT_EQ(record.kind, 3);
    EXPECT_EQ(Bytes(record.code, record.code + 6), (Bytes{9, 8, 7, 6, 5, 4}));
    const long long stamp = record.time.seconds * 1000000LL + record.time.microseconds;
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
}

// A record is saved as 16 big-endian bytes in a file named by its seconds
// and milliseconds (cut, not rounded); a later record of the same
// millisecond replaces the file, however long it was. Unpacked into a
// record that differs in every byte, the saved form packs back the same.
TEST(ErrorLog, saved_form_is_sixteen_big_endian_bytes_in_a_file_named_by_the_millisecond)
{
    struct Case {
        int32_t seconds, microseconds;
        int kind, unit;
        uint8_t code0;
        const char* name;
        Bytes saved;
    };
    const Case cases[] = {
        {1593835520, 123456, 2, 1, 4, "1593835520.123",
         {0x5F, 0x00, 0x00, 0x00, 0x00, 0x01, 0xE2, 0x40, 0x02, 0xF1, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {1000, 5000, 1, 0, 2, "1000.005",
         {0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x13, 0x88, 0x01, 0xF0, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {1000, 999999, 1, 0, 2, "1000.999",
         {0x00, 0x00, 0x03, 0xE8, 0x00, 0x0F, 0x42, 0x3F, 0x01, 0xF0, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {1001, 999, 1, 0, 2, "1001.000",
         {0x00, 0x00, 0x03, 0xE9, 0x00, 0x00, 0x03, 0xE7, 0x01, 0xF0, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {2000, 42000, 1, 0, 9, "2000.042",
         {0x00, 0x00, 0x07, 0xD0, 0x00, 0x00, 0xA4, 0x10, 0x01, 0xF0, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {2000, 42999, 3, 2, 7, "2000.042",
         {0x00, 0x00, 0x07, 0xD0, 0x00, 0x00, 0xA7, 0xF7, 0x03, 0xC2, 0x07, 0x01, 0x00, 0x00, 0x00, 0x00}},
    };
    std::ofstream(logDir() + "2000.042") << std::string(40, '#');  // longer than a record
    for (const Case& c : cases) {
        InitErrorLog record = recordAt(c.seconds, c.microseconds, c.kind, c.unit, c.code0);
        InitErrorLog::outputLog(record);
        EXPECT_EQ(fileBytes(c.name), c.saved) << c.name;
        InitErrorLog back(9, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE);
        back.time = {-1, -1};
        back.valid = false;
        back.unpack(c.saved.data());
        EXPECT_TRUE(back.valid);
        Bytes packed(16);
        back.pack(packed.data());
        EXPECT_EQ(packed, c.saved) << c.name;
    }
}

TEST(ErrorLog, missing_directory_loses_the_record_quietly)
{
    std::filesystem::remove_all(logDir());
    InitErrorLog record = recordAt(3000, 0, 1, 0, 2);
    EXPECT_NO_THROW(InitErrorLog::outputLog(record));
    EXPECT_FALSE(std::filesystem::exists(logDir())) << "the directory is not created";
    std::filesystem::create_directories(logDir());
}

} // namespace
