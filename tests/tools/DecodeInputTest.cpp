// mmb-decode on files of every size and content: what it refuses and why,
// what it decodes whatever the bytes say, and its command line.
#include "DecodeTesting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string KNOWN_FORMS =
    "not a known form (by name: mram0 to mram3, SECONDS.MILLISECONDS, initlog, init_downinfo.SECONDS, "
    "bt.MODULE.SECONDS, version.dat, a marker, history; by content: history beginning with a valid record, "
    "error-log 16 bytes, startup-record 380, down-info 2048 beginning \"process(\", partition 506 to 65536 with "
    "its identification block)";

// A fresh folder for the running test, in the build tree.
std::string inputFolder()
{
    std::string folder =
        std::string(MMB_TEST_BOARDS) + "/decode-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

Bytes textLines(std::size_t size)
{
    Bytes bytes(size, 'x');
    for (std::size_t i = 79; i < size; i += 80)
        bytes[i] = '\n';
    return bytes;
}

TEST(DecodeInput, what_is_not_a_known_form_is_refused_with_the_file_and_the_reason)
{
    const std::string tooLarge = "more than 65536 bytes: larger than any form";
    struct Refused {
        const char* what;
        const char* name;  // the file's name
        std::vector<std::string> options;
        Bytes content;
        std::string problem;  // after "mmb-decode: FILE: "
    } const cases[] = {
        {"a trace the size of a partition", "mmbinit.log", {}, textLines(4096), "4096 bytes of text: " + KNOWN_FORMS},
        {"text the size of a record", "x", {}, textLines(16), "16 bytes of text: " + KNOWN_FORMS},
        {"empty", "e", {}, {}, "0 bytes: " + KNOWN_FORMS},
        {"short record", "a", {}, Bytes(15), "15 bytes: " + KNOWN_FORMS},
        {"long start-up record", "b", {}, Bytes(381), "381 bytes: " + KNOWN_FORMS},
        {"partition without its identification", "c", {}, Bytes(4096), "4096 bytes: " + KNOWN_FORMS},
        {"2048 bytes of another kind", "d", {}, randomBytes(2048, 5), "2048 bytes: " + KNOWN_FORMS},
        {"truncated partition", "mram0", {}, Bytes(505),
         "wrong size for NVRAM partition 0: 505 bytes (expected 506 to 65536)"},
        {"truncated start-up record", "initlog", {}, Bytes(379),
         "wrong size for start-up record: 379 bytes (expected 380)"},
        {"truncated down-info", "init_downinfo.1000", {}, downInfoFile("process(", Bytes(100)),
         "wrong size for down-info file: 100 bytes (expected 2048)"},
        {"long record", "1000.005", {}, Bytes(17), "wrong size for error log record: 17 bytes (expected 16)"},
        {"text named as a start-up record", "initlog", {}, textLines(380), "text, not a start-up record"},
        {"text named as a partition", "mram0", {}, textLines(4096), "text, not a NVRAM partition 0"},
        {"wrong partition: 3 without its words", "mram3", {}, Bytes(3),
         "wrong size for NVRAM partition 3 (NOR NVRAM): 3 bytes (expected 4 to 65536)"},
        {"one byte over the largest form", "f", {}, Bytes(65537), tooLarge},
        {"far over", "mram0", {}, Bytes(1 << 20, 0xFF), tooLarge},
        {"over, forced", "g", {"--form", "partition"}, Bytes(65537), tooLarge},
        {"record forced", "h", {"--form", "error-log"}, Bytes(380),
         "wrong size for error log record: 380 bytes (expected 16)"},
        {"start-up record forced", "i", {"-f", "startup-record"}, Bytes(16),
         "wrong size for start-up record: 16 bytes (expected 380)"},
        {"down-info forced", "j", {"--form=down-info"}, Bytes(4096),
         "wrong size for down-info file: 4096 bytes (expected 2048)"},
        {"partition forced", "k", {"-fpartition"}, Bytes(16),
         "wrong size for NVRAM partition 0: 16 bytes (expected 506 to 65536)"},
    };
    for (const Refused& c : cases) {
        std::string file = writeInput(inputFolder() + "/" + c.name, c.content);
        std::vector<std::string> args = c.options;
        args.push_back(file);
        ProcessResult result = runDecode(args);
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, "") << c.what;
        EXPECT_EQ(result.err, "mmb-decode: " + file + ": " + c.problem + "\n") << c.what;
    }
}

Bytes withIdentification(Bytes bytes, const std::string& block)
{
    std::copy(block.begin(), block.end(), bytes.begin() + 0x1F0);
    if (block.size() > 2)
        bytes[0x1F0 + 9] = 0;  // the name's NUL
    return bytes;
}

TEST(DecodeInput, any_content_of_a_right_size_decodes)
{
    struct Garbage {
        const char* what;
        std::vector<std::string> options;
        Bytes content;
        const char* form;  // the title it is printed under
    } const cases[] = {
        {"record", {}, randomBytes(16, 1), "error log record"},
        {"record of ones", {}, Bytes(16, 0xFF), "error log record"},
        {"start-up record", {}, randomBytes(380, 2), "start-up record"},
        {"down-info", {}, downInfoFile("process(", randomBytes(2048, 3)), "down-info file"},
        {"down-info without a NUL", {}, downInfoFile("process(", Bytes(2048, 'x')), "down-info file"},
        {"down-info forced", {"--form", "down-info"}, randomBytes(2048, 4), "down-info file"},
        {"smallest partition", {}, withIdentification(randomBytes(506, 6), "M?XXXXXXXX"), "NVRAM partition 0"},
        {"partition", {}, withIdentification(randomBytes(4096, 7), "? MMBInit"), "NVRAM partition 0"},
        {"largest partition", {}, withIdentification(Bytes(65536, 0xFF), "M"), "NVRAM partition 0"},
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
            EXPECT_TRUE(!json || result.out.find('\n') == result.out.size() - 1) << c.what << ": one line";
        }
    }
}

TEST(DecodeInput, folder_files_come_oldest_first_and_files_of_no_known_form_are_skipped)
{
    std::string folder = inputFolder();
    writeInput(folder + "/1000.010", errorLogRecord(1000, 10000, {4, 0, 0, 0, 0, 0}));
    writeInput(folder + "/999.500", errorLogRecord(999, 500000, {2, 0, 0, 0, 0, 0}));
    writeInput(folder + "/init_downinfo.1000", downInfoFile("process(ntpd:12) down with status(0100)"));
    writeInput(folder + "/init_downinfo.998", downInfoFile("process("));
    writeInput(folder + "/notes", Bytes(3, 'x'));
    fs::create_directories(folder + "/old");
    ProcessResult result = runDecode({folder + "/"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    std::vector<std::string> printed;
    for (Fields& fields : printedRecords(result.out))
        printed.push_back(fields["source"] + " " + fields["form"] + " " + fields["time"] + fields["reason"]);
    EXPECT_EQ(printed, (std::vector<std::string>{
                           folder + "/init_downinfo.998 down-info file 1970-01-01 00:16:38 UTC",
                           folder + "/999.500 error log record 1970-01-01 00:16:39.500 UTC",
                           folder + "/init_downinfo.1000 down-info file 1970-01-01 00:16:40 UTC",
                           folder + "/1000.010 error log record 1970-01-01 00:16:40.010 UTC",
                           folder + "/notes skipped 3 bytes of text: " + KNOWN_FORMS,
                           folder + "/old skipped a directory",
                       }));

    result = runDecode({"--form", "down-info", folder});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("mmb-decode: " + folder + "/999.500: wrong size for down-info file: 16 bytes", 0), 0u);
}

// Whatever lies in a board's tree, reading it never blocks, never leaves
// the tree and names what it refused; the rest is still decoded, as the
// inputs after one that cannot be opened are.
TEST(DecodeInput, hostile_files_in_a_tree_are_refused_by_name)
{
    std::string tree = inputFolder();
    std::string outside = inputFolder() + "-outside";
    fs::create_directories(outside + "/var/mmb/log/init");
    writeInput(outside + "/var/mmb/log/init/1.000", errorLogRecord(1, 0, {4, 0, 0, 0, 0, 0}));
    writeInput(outside + "/secret", Bytes(380, 1));
    fs::create_directories(tree + "/tmp");
    fs::create_symlink(outside + "/var", tree + "/var");
    fs::create_symlink(outside + "/secret", tree + "/tmp/initlog");
    ASSERT_EQ(mkfifo((tree + "/tmp/MMB_REBOOT_HBL").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((tree + "/tmp/stray-fifo").c_str(), 0600), 0);
    fs::create_directories(tree + "/dev/mram0");
    writeInput(tree + "/tmp/OtherMMBFail", {});
    writeInput(tree + "/tmp/firmup_reboot", Bytes(65537));
    ProcessResult result = runDecode({tree + "/missing", tree});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "mmb-decode: " + tree + "/missing: cannot open: No such file or directory\n"
                          "mmb-decode: " + tree + "/dev/mram0: a directory\n"
                          "mmb-decode: " + tree + "/var: a symbolic link to " + outside + "/var, not followed\n"
                          "mmb-decode: " + tree + "/tmp/MMB_REBOOT_HBL: not a file, a device or a directory: a FIFO\n"
                          "mmb-decode: " + tree + "/tmp/firmup_reboot: more than 65536 bytes: larger than any form\n"
                          "mmb-decode: " + tree + "/tmp/initlog: a symbolic link to " + outside +
                              "/secret, not followed\n");
    std::vector<std::string> printed;
    for (Fields& fields : printedRecords(result.out))
        printed.push_back(fields["source"] + " " + fields["form"] + " " + fields["reason"]);
    EXPECT_EQ(printed, (std::vector<std::string>{tree + "/tmp/OtherMMBFail marker file ",
                                                 tree + "/tmp/stray-fifo skipped not a file, a device or a "
                                                        "directory: a FIFO"}));
}

TEST(DecodeInput, a_folder_of_too_many_entries_is_refused_unread)
{
    std::string folder = inputFolder();
    for (int i = 0; i <= 10000; ++i)
        writeInput(folder + "/" + std::to_string(i), {});
    ProcessResult result = runDecode({folder});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "mmb-decode: " + folder + ": more than 10000 entries: not read\n");
}

TEST(DecodeInput, command_line_errors_end_with_status_2_and_the_usage)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--form", "bogus", "x"}, "mmb-decode: unknown form 'bogus'\n"},
        {{}, "mmb-decode: no file named\n"},
        {{"--bogus", "x"}, "mmb-decode: unknown option --bogus\n"},
        {{"-jx", "x"}, "mmb-decode: unknown option -x\n"},
        {{"x", "-f"}, "mmb-decode: missing the argument of -f\n"},
        {{"--check", "a", "b"}, "mmb-decode: --check takes one board's tree, its forms told from its paths\n"},
        {{"-c", "-f", "partition", "a"}, "mmb-decode: --check takes one board's tree, its forms told from its paths\n"},
    };
    ProcessResult help = runDecode({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: mmb-decode [--json] [--form FORM] FILE|DIRECTORY|BUNDLE...\n"
                             "       mmb-decode [--json] --check TREE|BUNDLE\n", 0), 0u);
    for (const auto& [args, message] : cases) {
        ProcessResult result = runDecode(args);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_EQ(result.out, "") << message;
        EXPECT_EQ(result.err, message + help.out);
    }
}

} // namespace
