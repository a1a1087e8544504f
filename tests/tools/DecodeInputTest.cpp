// mmb-decode on files of every size and content: what it refuses and why,
// what it decodes whatever the bytes say, and its command line.
#include "DecodeTesting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string KNOWN_FORMS =
    "not a known form (error-log 16, startup-record 380, down-info 2048, partition 506 to 65536)";

// A fresh folder for the running test, in the build tree.
std::string inputFolder()
{
    std::string folder =
        std::string(MMB_TEST_BOARDS) + "/decode-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string writeInput(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

Bytes startingWith(const std::string& text, Bytes bytes)
{
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

// An error log record's saved form.
Bytes record(uint32_t seconds, uint32_t micros, uint8_t firstCode)
{
    return {static_cast<uint8_t>(seconds >> 24), static_cast<uint8_t>(seconds >> 16),
            static_cast<uint8_t>(seconds >> 8),  static_cast<uint8_t>(seconds),
            static_cast<uint8_t>(micros >> 24),  static_cast<uint8_t>(micros >> 16),
            static_cast<uint8_t>(micros >> 8),   static_cast<uint8_t>(micros),
            1, 0xF0, firstCode, 0, 0, 0, 0, 0};
}

struct Refused {
    const char* what;
    std::vector<std::string> options;
    Bytes content;
    std::string problem;  // after "mmb-decode: FILE: "
};

TEST(DecodeInput, wrong_sizes_are_refused_with_the_file_and_the_reason)
{
    const std::string tooLarge = "more than 65536 bytes: larger than any form";
    const Refused cases[] = {
        {"empty", {}, {}, "0 bytes: " + KNOWN_FORMS},
        {"short record", {}, Bytes(15), "15 bytes: " + KNOWN_FORMS},
        {"long record", {}, Bytes(17), "17 bytes: " + KNOWN_FORMS},
        {"short start-up record", {}, Bytes(379), "379 bytes: " + KNOWN_FORMS},
        {"long start-up record", {}, Bytes(381), "381 bytes: " + KNOWN_FORMS},
        {"partition cut before its identification ends", {}, Bytes(505), "505 bytes: " + KNOWN_FORMS},
        {"one byte over the largest form", {}, Bytes(65537), tooLarge},
        {"far over", {}, Bytes(1 << 20, 0xFF), tooLarge},
        {"over, forced", {"--form", "partition"}, Bytes(65537), tooLarge},
        {"record forced", {"--form", "error-log"}, Bytes(380),
         "wrong size for error log record: 380 bytes (expected 16)"},
        {"start-up record forced", {"-f", "startup-record"}, Bytes(16),
         "wrong size for start-up record: 16 bytes (expected 380)"},
        {"down-info forced", {"--form=down-info"}, Bytes(4096),
         "wrong size for down-info file: 4096 bytes (expected 2048)"},
        {"partition forced", {"-fpartition"}, Bytes(16),
         "wrong size for NVRAM partition 0: 16 bytes (expected 506 to 65536)"},
    };
    std::string folder = inputFolder();
    for (const Refused& c : cases) {
        std::string file = writeInput(folder + "/" + std::to_string(&c - cases), c.content);
        std::vector<std::string> args = c.options;
        args.push_back(file);
        ProcessResult result = runDecode(args);
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, "") << c.what;
        EXPECT_EQ(result.err, "mmb-decode: " + file + ": " + c.problem + "\n") << c.what;
    }
}

struct Garbage {
    const char* what;
    std::vector<std::string> options;
    Bytes content;
    const char* form;  // the title it is printed under
};

TEST(DecodeInput, any_content_of_a_right_size_decodes)
{
    const Garbage cases[] = {
        {"record", {}, randomBytes(16, 1), "error log record"},
        {"record of ones", {}, Bytes(16, 0xFF), "error log record"},
        {"start-up record", {}, randomBytes(380, 2), "start-up record"},
        {"down-info", {}, startingWith("process(", randomBytes(2048, 3)), "down-info file"},
        {"down-info without a NUL", {}, startingWith("process(", Bytes(2048, 'x')), "down-info file"},
        {"down-info forced", {"--form", "down-info"}, randomBytes(2048, 4), "down-info file"},
        {"2048 bytes of another kind", {}, randomBytes(2048, 5), "NVRAM partition 0"},
        {"smallest partition", {}, randomBytes(506, 6), "NVRAM partition 0"},
        {"partition", {}, randomBytes(4096, 7), "NVRAM partition 0"},
        {"largest partition", {}, Bytes(65536, 0xFF), "NVRAM partition 0"},
        {"record forced as a partition", {"--form", "partition"}, randomBytes(1000, 8), "NVRAM partition 0"},
    };
    std::string folder = inputFolder();
    for (const Garbage& c : cases) {
        std::string file = writeInput(folder + "/" + std::to_string(&c - cases), c.content);
        for (bool json : {false, true}) {
            std::vector<std::string> args = c.options;
            if (json)
                args.push_back("--json");
            args.push_back(file);
            ProcessResult result = runDecode(args);
            EXPECT_EQ(result.status, 0) << c.what << (json ? " as JSON" : "");
            EXPECT_EQ(result.err, "") << c.what;
            // Text starts with the title line; JSON is one line that names the file first.
            std::string start = json ? "{\"file\":\"" + file + "\"," : file + ": " + c.form + "\n";
            EXPECT_EQ(result.out.rfind(start, 0), 0u) << c.what << result.out;
            if (json) {
                EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << c.what << ": one line";
            }
        }
    }
}

TEST(DecodeInput, directory_records_come_oldest_first_and_bad_files_are_named)
{
    std::string folder = inputFolder();
    writeInput(folder + "/1000.010", record(1000, 10000, 4));
    writeInput(folder + "/999.500", record(999, 500000, 2));
    writeInput(folder + "/1000.005", record(1000, 5000, 9));
    writeInput(folder + "/notes", Bytes(3, 'x'));
    fs::create_directories(folder + "/old");
    ProcessResult result = runDecode({folder + "/"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "mmb-decode: " + folder + "/notes: wrong size for error log record: 3 bytes (expected 16)\n"
                          "mmb-decode: " + folder + "/old: a directory inside a directory of error log records\n");
    std::vector<std::string> sources;
    for (Fields& printed : printedRecords(result.out))
        sources.push_back(printed["source"]);
    EXPECT_EQ(sources, (std::vector<std::string>{folder + "/999.500", folder + "/1000.005", folder + "/1000.010"}));

    result = runDecode({"--form", "partition", folder});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "mmb-decode: " + folder + ": a directory holds error log records, not the form partition\n");
}

TEST(DecodeInput, an_input_that_fails_leaves_the_others_printed)
{
    std::string folder = inputFolder();
    std::string good = writeInput(folder + "/1.000", record(1, 0, 0x29));
    ProcessResult result = runDecode({folder + "/missing", good});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "mmb-decode: " + folder + "/missing: cannot open: No such file or directory\n");
    std::vector<Fields> records = printedRecords(result.out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["reporter"], "network service script start or stop");
}

TEST(DecodeInput, command_line_errors_end_with_status_2_and_the_usage)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--form", "bogus", "x"}, "mmb-decode: unknown form 'bogus'\n"},
        {{}, "mmb-decode: no file named\n"},
        {{"--bogus", "x"}, "mmb-decode: unknown option --bogus\n"},
        {{"-jx", "x"}, "mmb-decode: unknown option -x\n"},
        {{"x", "-f"}, "mmb-decode: missing the argument of -f\n"},
    };
    ProcessResult help = runDecode({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: mmb-decode [--json] [--form FORM] FILE|DIRECTORY...\n", 0), 0u);
    for (const auto& [args, message] : cases) {
        ProcessResult result = runDecode(args);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_EQ(result.out, "") << message;
        EXPECT_EQ(result.err, message + help.out);
    }
}

} // namespace
