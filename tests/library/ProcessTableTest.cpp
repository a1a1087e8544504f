// The process table reader: which lines make records, which are skipped,
// which end the table and which are rejected with a trace and a record.
#include "BoardLogs.h"
#include "InitBuildProcess.h"
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitMMBProcess.h"
#include "SimBoard.h"
#include "ThrownRecord.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr const char* EXEC_DIR = "/opt/mmb/bin/";
constexpr const char* TRACE_NAME = "/trace.log";
const Bytes REJECTED = {1, 0xF1, 28, 4, 0, 0, 0, 0};  // kind, unit code of MMB 1, code bytes

const std::string TOO_FEW = "RUN# 20010 initBuildProcess (the num. of Fields is too few)";
const std::string BAD_COUNT = "RUN# 20010 InitBuildProcess specified process count is invalid";
const std::string NAME_TOO_LONG = "RUN# 20010 initBuildProcess (Length of specified module name is too long)";
const std::string BAD_NAME = "RUN# 20010 initBuildProcess (Specified module name is invalid)";
const std::string BAD_DOWN_OPERATION = "RUN# 20010 initBuildProcess (Specified down-operation is invaid)";
const std::string BAD_KEY = "RUN# 20010 initBuildProcess (Specified process key is invaid)";

// What one reading left behind.
struct Reading {
    Lines records;    // "name down-operation priority key start-wait", in vector order
    Lines execPaths;
    int32_t processCount = 0;
    Bytes thrown;     // kind, unit code, code bytes; empty when nothing was thrown
    Lines traces;     // without the "(sec=...)" stamp
};

std::string describe(const InitMMBProcess& process)
{
    return std::string(process.name) + " " + std::to_string(process.downOperation) + " " +
           std::to_string(process.priority) + " " + std::to_string(process.processKey) + " " +
           std::to_string(process.waitSignal);
}

class ProcessTable : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/mmbtable.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        traceFile_ = root_ + TRACE_NAME;
        tablePath_ = root_ + "/pro_file.ctl";
        unsetenv("MMB_DEBUG_PATH");
        InitLocalTrace::getInstance()->fileName = traceFile_.c_str();
        InitMMBFirm::getInstance()->mmbId = 1;
    }
    void TearDown() override
    {
        InitLocalTrace::getInstance()->fileName = nullptr;
        unsetenv("MMB_DEBUG_PATH");
        std::filesystem::remove_all(root_);
    }

    Reading read(const std::string& table, const char* directory = EXEC_DIR)
    {
        sim::writeFile(tablePath_, table);
        return readFile(tablePath_, directory);
    }

    Reading readFile(const std::string& path, const char* directory = EXEC_DIR)
    {
        std::filesystem::remove(traceFile_);
        InitLocalTrace::getInstance()->lineCount = 0;
        std::vector<InitMMBProcess*> processes;
        InitBuildProcess reader(path.c_str(), directory, processes);
        Reading reading;
        errno = ERANGE;  // left over from an earlier call: must not make a valid field invalid
        reading.thrown = thrownRecord([&] { reader.create(); });
        for (InitMMBProcess* process : processes) {
            reading.records.push_back(describe(*process));
            reading.execPaths.push_back(process->execPath);
            delete process;
        }
        reading.processCount = reader.processCount;
        if (std::filesystem::exists(traceFile_))
            reading.traces = traceLines(traceFile_);
        return reading;
    }

    std::string root_;
    std::string traceFile_;
    std::string tablePath_;
};

struct TableCase {
    const char* what;
    std::string table;
    int32_t processCount;
    Lines records;      // in file order; before a rejected line, the ones appended
    std::string trace = {};  // of a rejected line, which throws; empty when the table is accepted
};

TEST_F(ProcessTable, lines_make_records_in_file_order_until_one_is_rejected)
{
    const TableCase cases[] = {
        {"count, three lines, end line", "3\na 1 0 10 x y\nb 2 -5 11 x y z\nc 1 19 12 x y z w 0\n#END\n", 3,
         {"a 1 0 10 0", "b 2 -5 11 0", "c 1 19 12 0"}},
        {"an end line with text stops before malformed lines", "1\na 1 0 1 x y\n#END of table\nbad\n0\nb 1\n", 1,
         {"a 1 0 1 0"}},
        {"comments and empty lines anywhere", "/* processes */\n\n1\n/*x y\n\na 1 0 1 x y\n\n", 1, {"a 1 0 1 0"}},
        {"a line starting with # is a data line, its name refused", "2\n#EN 1 0 2 x y\n", 2, {}, BAD_NAME},
        {"names of letters, digits and ._+-", "2\nAz09._+-z 1 0 1 x y\n- 1 0 2 x y\n", 2,
         {"Az09._+-z 1 0 1 0", "- 1 0 2 0"}},
        {"a leading space leaves the name empty: no record", "1\n a 1 0 1 x y\n", 1, {}},
        {"carriage returns after the count and the start wait", "1\r\na 1 0 1 x y z w 5\r\n", 1, {"a 1 0 1 5"}},
        {"the start wait carries over to lines without a ninth field",
         "5\na 1 0 1 x y\nb 1 0 2 x y z w 7\nc 1 0 3 x y\nd 1 0 4 x y z w 0 more\ne 1 0 5 x y z w\n", 5,
         {"a 1 0 1 0", "b 1 0 2 7", "c 1 0 3 7", "d 1 0 4 0", "e 1 0 5 0"}},
        {"leading digits count, no digits give 0", "2\na 1 12abc 1 x y\nb x -0 zz x y\n", 2,
         {"a 1 12 1 0", "b 0 0 0 0"}},
        {"32-bit limits", "1\na -2147483648 2147483647 -1 x y z w 2147483647\n", 1,
         {"a -2147483648 2147483647 4294967295 2147483647"}},
        {"an unchecked start wait stops at the 32-bit limits",
         "2\na 1 0 1 x y z w 99999999999\nb 1 0 1 x y z w -99999999999999999999\n", 2,
         {"a 1 0 1 2147483647", "b 1 0 1 -2147483648"}},
        {"a negative count is left to the manager", "-2\na 1 0 1 x y\n", -2, {"a 1 0 1 0"}},
        {"before the count line four fields make a process line", "a 1 0 1\n2\nb 1 0 2 x y\n", 2,
         {"a 1 0 1 0", "b 1 0 2 0"}},
        {"the last line needs no line feed", "1\na 1 0 1 x y", 1, {"a 1 0 1 0"}},
        {"an empty file", "", 0, {}},
        {"count of 0", "0\na 1 0 1 x y\n", 0, {}, BAD_COUNT},
        {"count of letters", "three\n", 0, {}, BAD_COUNT},
        {"count beyond 32 bits", "2147483648\n", 0, {}, BAD_COUNT},
        {"second one-field line", "2\na 1 0 1 x y\n3\n", 2, {"a 1 0 1 0"}, TOO_FEW},
        {"five fields after the count", "1\na 1 0 1 x\n", 1, {}, TOO_FEW},
        {"three fields before the count", "a 1 0\n", 0, {}, TOO_FEW},
        {"down-operation above 32 bits", "1\na 2147483648 0 1 x y\n", 1, {}, BAD_DOWN_OPERATION},
        {"down-operation below 32 bits", "1\na -2147483649 0 1 x y\n", 1, {}, BAD_DOWN_OPERATION},
        {"priority beyond a long", "1\na 1 99999999999999999999x 1 x y\n", 1, {},
         "RUN# 20010 initBuildProcess (Specified priority is invaid)"},
        {"process key beyond a signed 32-bit value", "1\na 1 0 4294967295 x y\n", 1, {}, BAD_KEY},
        {"name leaving the executable folder", "1\n../../tmp/x 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"name with a command for the shell", "1\nx;id 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"name with a pattern for the shell", "1\nx* 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"name with a tab, which would split the shell's word", "1\nx\t-t 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"name with a byte beyond ASCII", "1\nx\xc3\xa9 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"name with a control character", "1\nx\x01 1 0 1 x y\n", 1, {}, BAD_NAME},
        {"earlier records stay", "3\na 1 0 1 x y\nb 1 0 2 x y\nc 1 0 -2147483649 x y\nd 1 0 4 x y\n", 3,
         {"a 1 0 1 0", "b 1 0 2 0"}, BAD_KEY},
    };
    for (const TableCase& c : cases) {
        Reading reading = read(c.table);
        EXPECT_EQ(reading.records, c.records) << c.what;
        EXPECT_EQ(reading.processCount, c.processCount) << c.what;
        EXPECT_EQ(reading.thrown, c.trace.empty() ? Bytes() : REJECTED) << c.what;
        EXPECT_EQ(reading.traces, c.trace.empty() ? Lines() : Lines{c.trace}) << c.what;
    }
}

TEST_F(ProcessTable, record_names_the_board)
{
    InitMMBFirm::getInstance()->mmbId = 0;
    EXPECT_EQ(read("0\n").thrown, (Bytes{1, 0xF0, 28, 4, 0, 0, 0, 0}));
}

struct NameLength {
    const char* directory;
    size_t length;
    bool taken;
};

TEST_F(ProcessTable, module_name_must_fit_the_executable_path_beside_the_directory)
{
    const size_t room = InitBuildProcess::PATH_SIZE - 1 - strlen(EXEC_DIR);
    const NameLength cases[] = {
        {"", 255, true}, {"", 256, false}, {EXEC_DIR, room, true}, {EXEC_DIR, room + 1, false},
        {EXEC_DIR, 255, false},
    };
    for (const NameLength& c : cases) {
        std::string name(c.length, 'n');
        Reading reading = read("1\n" + name + " 1 0 1 x y\n", c.directory);
        std::string what = std::string("directory \"") + c.directory + "\", name of " + std::to_string(c.length);
        EXPECT_EQ(reading.execPaths, c.taken ? Lines{c.directory + name} : Lines()) << what;
        EXPECT_EQ(reading.thrown, c.taken ? Bytes() : REJECTED) << what;
        EXPECT_EQ(reading.traces, c.taken ? Lines() : Lines{NAME_TOO_LONG}) << what;
    }
}

// A record whose name did not fit beside the directory starts nothing;
// activating it fails as a failed fork does, each time it is asked.
TEST_F(ProcessTable, record_left_without_a_name_fails_its_activation)
{
    InitMMBProcess process(EXEC_DIR);
    process.initialize(std::string(InitMMBProcess::PATH_SIZE, 'n').c_str(), 1, 0, 0x117, 0);
    EXPECT_EQ(process.create(), 0);
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(thrownRecord([&] { process.activate(); }), (Bytes{1, 0xF1, 9, 0x17, 1, 0, 0, 0})) << attempt;
    EXPECT_EQ(traceLines(traceFile_), Lines(2, "RUN# 20011 InitMMBProcess:execMmbProc:fork 0"));
}

TEST_F(ProcessTable, directory_takes_the_debug_prefix_and_the_table_path_does_not)
{
    setenv("MMB_DEBUG_PATH", root_.c_str(), 1);
    InitLocalTrace::getInstance()->fileName = TRACE_NAME;
    Reading reading = read("1\na 1 0 1 x y\n");  // the table file lies at its path as given
    EXPECT_EQ(reading.execPaths, Lines{root_ + EXEC_DIR + "a"});

    const std::string tooLong(InitBuildProcess::PATH_SIZE - 1 - strlen(EXEC_DIR), 'n');
    reading = read("1\n" + tooLong + " 1 0 1 x y\n");
    EXPECT_EQ(reading.thrown, REJECTED);
    EXPECT_EQ(reading.traces, Lines{NAME_TOO_LONG});
}

TEST_F(ProcessTable, missing_table_reads_as_empty)
{
    Reading reading = readFile(root_ + "/no-such-table");
    EXPECT_EQ(reading.records, Lines());
    EXPECT_EQ(reading.processCount, 0);
    EXPECT_TRUE(reading.thrown.empty());
    EXPECT_EQ(reading.traces, Lines());
}

// The base reader alone: its own separator, "#" lines are comments and no
// line ends the file.
class CommaReader : public InitBuildResource {
public:
    CommaReader() : InitBuildResource("", ',') {}
    void generateParam(std::vector<std::string*>&) override {}
    void createOneItem() override {}
};

struct SplitLine {
    bool processTable;  // else the base reader
    std::string line;
    int result;
    Lines fields;
};

// In the process table every space splits and nothing is trimmed.
TEST(ProcessTableLine, lines_split_at_the_separator_and_skip_or_end_as_their_reader_says)
{
    const SplitLine cases[] = {
        {true, "a 1 0", 3, {"a", "1", "0"}},
        {true, "a  b", 3, {"a", "", "b"}},
        {true, " a", 2, {"", "a"}},
        {true, "a ", 2, {"a", ""}},
        {true, " ", 2, {"", ""}},
        {true, "\r", 1, {"\r"}},
        {true, "a\tb", 1, {"a\tb"}},
        {true, "#", 1, {"#"}},
        {true, "/", 1, {"/"}},
        {true, "#EN", 1, {"#EN"}},
        {true, "", 0, {}},
        {true, "/*", 0, {}},
        {true, "/* a b", 0, {}},
        {true, "#END", -1, {}},
        {true, "#END x", -1, {}},
        {false, "a,b c", 2, {"a", "b c"}},
        {false, "#END", 0, {}},
        {false, "# note", 0, {}},
        {false, "", 0, {}},
        {false, "/* x", 1, {"/* x"}},
    };
    std::vector<InitMMBProcess*> processes;
    InitBuildProcess processReader("", "", processes);
    CommaReader baseReader;
    for (const SplitLine& c : cases) {
        InitBuildResource& reader = c.processTable ? static_cast<InitBuildResource&>(processReader) : baseReader;
        std::vector<std::string*> fields;
        int result = reader.parceOneLine(c.line, fields);
        Lines texts;
        for (std::string* field : fields) {
            texts.push_back(*field);
            delete field;
        }
        EXPECT_EQ(texts, c.fields) << '"' << c.line << '"';
        EXPECT_EQ(result, c.result) << '"' << c.line << '"';
    }
}

} // namespace
