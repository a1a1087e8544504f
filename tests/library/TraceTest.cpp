#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"

#include "SimBoard.h"
#include "ThrownRecord.h"
#include "TraceTesting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Every operator new of the process is counted, so a test can show that the
// trace path stays off the heap (it is also called from signal handlers).
static long newCalls = 0;

// The replacements pair malloc with free, which the compiler cannot tell once
// it inlines them into a caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    ++newCalls;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

#pragma GCC diagnostic pop

namespace {

constexpr int LIVE_ID = 0x1234;  // not symmetric, so the byte order shows

void trace(int level, const char* text)
{
    InitTraceHandler::getInstance()->output(20001, level, text);
}

// operator new calls made by count traces; a service is drained after each.
// The text is longer than any small-string buffer, so a copy would show.
long newCallsOfTraces(int count, TraceService* service = nullptr)
{
    long calls = 0;
    for (int i = 0; i < count; ++i) {
        long before = newCalls;
        InitTraceHandler::getInstance()->outputf(20001, 1, "steady trace number %d of the run", i);
        calls += newCalls - before;
        if (service != nullptr)
            service->receive();
    }
    return calls;
}

class Trace : public TraceFixture {
protected:
    static InitLocalTrace& local() { return *InitLocalTrace::getInstance(); }
};

TEST_F(Trace, keeps_and_sends_nothing_without_a_local_file_name)
{
    reset(nullptr, 257);
    TraceService service;
    trace(0, "dropped");
    EXPECT_EQ(service.receive(), Lines{});
    EXPECT_FALSE(local().exported);
    EXPECT_EQ(local().lineCount, 0);
}

TEST_F(Trace, service_gets_the_local_file_once_then_live_lines)
{
    reset(LOCAL_NAME, 256);
    TraceService service;
    trace(0, "a");
    trace(1, "b");
    EXPECT_EQ(service.receive(), Lines{});  // 256 keeps lines local

    InitTraceHandler::getInstance()->traceId = LIVE_ID;
    trace(2, "c");
    EXPECT_EQ(service.receive(), (Lines{"0 256 20001 a(sec=*)", "200 256 20001 b(sec=*)", "100 256 20001 c(sec=*)"}));
    EXPECT_TRUE(local().exported);
    local().exportInitLog(*InitTraceFile::getInstance());
    trace(1, "d");
    EXPECT_EQ(service.receive(), Lines{"200 4660 20001 d"});
}

// The replay reads as many lines as this process wrote (another writer's
// lines after them stay unread) and skips lines without a level name;
// 257 is the first id that reaches the service.
TEST_F(Trace, replay_reads_the_lines_written_and_skips_unnamed_ones)
{
    reset(LOCAL_NAME, 0);
    trace(0, "a");
    std::ofstream(root + LOCAL_NAME, std::ios::app) << "no level name\n";
    trace(1, "b");
    std::ofstream(root + LOCAL_NAME, std::ios::app) << "RUN# written by another\n";
    InitTraceHandler::getInstance()->traceId = 257;
    TraceService service;
    trace(2, "c");
    EXPECT_EQ(service.receive(), (Lines{"0 256 20001 a(sec=*)", "200 256 20001 b(sec=*)"}));
    trace(1, "d");
    EXPECT_EQ(service.receive(), Lines{"200 257 20001 d"});
}

// The replay reads as fgets would: a line longer than its buffer is sent
// cut, its rest counting as a line; a level name alone sends an empty text,
// a line that begins with a NUL byte is skipped, the file's end ends it.
TEST_F(Trace, replay_reads_lines_as_fgets_would)
{
    reset(LOCAL_NAME, 0);
    for (int i = 0; i < 6; ++i)
        trace(1, "overwritten");
    std::ofstream(root + LOCAL_NAME) << "DVT#\n" << '\0' << "RUN# after NUL\nRUN# " << std::string(300, 'x') << "\n";
    InitTraceHandler::getInstance()->traceId = LIVE_ID;
    TraceService service;
    trace(0, "live");
    EXPECT_EQ(service.receive(), (Lines{"100 256 ", "0 256 " + std::string(249, 'x'), "0 256 20001 live(sec=*)"}));
}

// The local file starts over after line 1001; a replay just then finds no
// line of this cycle: it sends nothing and is done.
TEST_F(Trace, local_file_starts_over_after_line_1001_where_a_replay_sends_nothing)
{
    reset(LOCAL_NAME, 0);
    for (int i = 0; i < 1000; ++i)
        trace(1, "fill");
    InitTraceHandler::getInstance()->traceId = LIVE_ID;
    TraceService service;
    trace(0, "wrap");
    EXPECT_EQ(localLines().size(), 1001u);
    EXPECT_EQ(service.receive(), Lines{});
    EXPECT_TRUE(local().exported);
    trace(0, "after");
    EXPECT_EQ(service.receive(), Lines{"0 4660 20001 after"});
    EXPECT_EQ(localLines(), Lines{"RUN# 20001 after(sec=*)"});
    EXPECT_EQ(local().lineCount, 1);
}

// A local file that cannot be written loses the line uncounted; one that
// cannot be read is replayed on a later trace.
TEST_F(Trace, local_file_that_cannot_be_opened_is_tried_again)
{
    const std::string folder = root + "/later";
    reset("/later/local.trace", LIVE_ID);
    TraceService service;
    trace(0, "lost");
    EXPECT_EQ(local().lineCount, 0);
    EXPECT_FALSE(local().exported);
    std::filesystem::create_directory(folder);
    trace(0, "kept");
    EXPECT_EQ(service.receive(), Lines{"0 256 20001 kept(sec=*)"});
    std::filesystem::remove_all(folder);
}

TEST_F(Trace, notices_a_late_service_but_not_its_removal)
{
    reset(LOCAL_NAME, LIVE_ID);
    const std::string socketPath = root + "/var/mmb/sock/ipcsock04";
    std::ofstream{socketPath};  // no socket: no service
    trace(0, "early");
    EXPECT_FALSE(local().exported);
    EXPECT_EQ(InitTraceFile::getInstance()->put(0, "direct", LIVE_ID), 0);
    std::filesystem::remove(socketPath);
    {
        TraceService service;
        trace(1, "up");
        EXPECT_EQ(service.receive(), (Lines{"0 256 20001 early(sec=*)", "200 256 20001 up(sec=*)"}));
    }
    trace(0, "lost");  // putMmbTrace finds no socket and fails quietly
    EXPECT_TRUE(InitTraceFile::getInstance()->running);
    TraceService again;
    trace(0, "back");
    EXPECT_EQ(again.receive(), Lines{"0 4660 20001 back"});
}

// The first line empties the file; a level outside the three named ones
// is dropped.
TEST_F(Trace, each_output_form_reaches_the_local_file_within_its_buffers)
{
    std::ofstream(root + LOCAL_NAME) << "RUN# stale\nRUN# stale\n";
    reset(LOCAL_NAME, 0);
    InitTraceHandler* handler = InitTraceHandler::getInstance();
    const std::string longText(300, 'x');
    trace(-1, "no such level");
    trace(3, "no such level");
    trace(0, "run");
    trace(2, "devtest");
    handler->output(20001, 1, "alone");
    handler->output(20010, 1, "first", "second");
    handler->output(20011, 0, "open", 13);
    handler->output(20011, 0, "result", -1);
    handler->outputf(20002, 1, "count=%d", 42);
    handler->outputf(20001, 0, "%s", longText.c_str());    // cut to 239 characters
    handler->output(20003, 0, longText.c_str(), "tail");  // line cut to 255
    EXPECT_EQ(localLines(), (Lines{"RUN# 20001 run(sec=*)", "DVT# 20001 devtest(sec=*)", "DBG# 20001 alone(sec=*)",
                                   "DBG# 20010 first second(sec=*)", "RUN# 20011 open 13(sec=*)",
                                   "RUN# 20011 result -1(sec=*)", "DBG# 20002 count=42(sec=*)",
                                   "RUN# 20001 " + std::string(239, 'x') + "(sec=*)",
                                   "RUN# " + ("20003 " + longText).substr(0, 255) + "(sec=*)"}));
}

TEST_F(Trace, traces_without_heap_allocation)
{
    EXPECT_EQ(newCallsOfTraces(100), 0) << "both sinks off";
    reset(LOCAL_NAME, 0);
    EXPECT_EQ(newCallsOfTraces(100), 0) << "local trace file";
    reset(LOCAL_NAME, LIVE_ID);
    TraceService service;
    EXPECT_EQ(newCallsOfTraces(100, &service), 0) << "replay, then live lines";
}

// The file helper traces through the same singletons.
class MMBFile : public Trace {};

TEST_F(MMBFile, makePath_puts_the_debug_prefix_in_front)
{
    struct Case {
        const char* prefix;  // null: variable unset
        const char* name;
        std::string path;
    };
    const std::string widestPrefix = "/" + std::string(250, 'p');  // with "/log": 255, the most that fits
    const std::string tooWide = widestPrefix + "p";
    const Case cases[] = {
        {"/tmp/dbg", "/var/mmb/x", "/tmp/dbg/var/mmb/x"},
        {nullptr, "/var/mmb/x", "/var/mmb/x"},
        {"", "/var/mmb/x", "/var/mmb/x"},
        {widestPrefix.c_str(), "/log", widestPrefix + "/log"},
        {tooWide.c_str(), "/log", ""},  // never a cut path
    };
    const std::string saved = getenv("MMB_DEBUG_PATH");
    for (const Case& c : cases) {
        if (c.prefix != nullptr)
            setenv("MMB_DEBUG_PATH", c.prefix, 1);
        else
            unsetenv("MMB_DEBUG_PATH");
        char out[InitMMBFile::PATH_SIZE];
        memset(out, '?', sizeof out);
        InitMMBFile::makePath(c.name, out);
        EXPECT_EQ(out, c.path) << (c.prefix != nullptr ? c.prefix : "(unset)");
    }
    setenv("MMB_DEBUG_PATH", saved.c_str(), 1);
}

// Mode 1 creates or empties the file, mode 4 appends; printf writes as
// vfprintf does, and the destructor closes the file.
TEST_F(MMBFile, opened_file_takes_formatted_text)
{
    const std::string path = root + "/written.txt";
    std::ofstream(path) << "older content\n";
    for (int mode : {1, 4}) {
        InitMMBFile file;
        snprintf(file.path, sizeof file.path, "%s", path.c_str());
        file.open(mode);
        ASSERT_NE(file.fp, nullptr);
        EXPECT_EQ(file.printf("%s=%d\n", "mode", mode), 7);
    }
    EXPECT_EQ(sim::readFile(path), "mode=1\nmode=4\n");
}

// What stands at a file's name is judged by who may write its folder. In
// one others may write (sticky /tmp), only a plain file of ours with one
// link is opened: a link, a second hard link, another user's file, a folder
// or a FIFO is refused in every mode, traced, and what it leads to stays as
// it was. In one only root writes (/mnt/fsN, /var/mmb), a link or a second
// hard link is root's own and is followed, but a folder or FIFO is still
// not opened.
TEST_F(MMBFile, open_judges_a_name_by_who_may_write_its_folder)
{
    using Plant = void (*)(const std::string& target, const std::string& at);
    const std::pair<const char*, Plant> plants[] = {
        {"symbolic link", [](const std::string& to, const std::string& at) { std::filesystem::create_symlink(to, at); }},
        {"hard link", [](const std::string& to, const std::string& at) { std::filesystem::create_hard_link(to, at); }},
        {"file of another user",
         [](const std::string&, const std::string& at) {
             std::ofstream(at) << "kept";
             ASSERT_EQ(chown(at.c_str(), 65534, 65534), 0);
         }},
        {"folder", [](const std::string&, const std::string& at) { std::filesystem::create_directory(at); }},
        {"fifo", [](const std::string&, const std::string& at) { mkfifo(at.c_str(), 0666); }},
    };
    const std::string target = root + "/target";
    for (auto [folderMode, readable] : {std::pair<mode_t, int>{01777, 0}, {0755, 3}}) {
        const std::string folder = root + "/folder" + std::to_string(folderMode);
        std::filesystem::create_directory(folder);
        chmod(folder.c_str(), folderMode);
        const std::string path = folder + "/planted";
        for (int plant = 0; plant < 5; ++plant) {
            const char* what = plants[plant].first;
            std::ofstream(target) << "kept";
            plants[plant].second(target, path);
            std::filesystem::remove(root + LOCAL_NAME);
            reset(LOCAL_NAME, 0);
            bool opens = plant < readable;
            for (int mode : opens ? std::vector<int>{0} : std::vector<int>{0, 1, 4}) {
                InitMMBFile file;
                snprintf(file.path, sizeof file.path, "%s", path.c_str());
                file.open(mode);
                EXPECT_EQ(file.fp != nullptr, opens) << what << " in " << folder << " mode " << mode;
            }
            EXPECT_EQ(sim::readFile(target), "kept") << what;
            EXPECT_EQ(localLines(), opens ? Lines() : Lines(3, "RUN# 20011 open(" + path + ") refused(sec=*)"))
                << what << " in " << folder;
            std::filesystem::remove(path);
        }
    }
}

// The folder of any name is found: a name without a folder lies in the
// working folder, "/x" in the root folder. A name that is merely missing,
// or whose folder is, fails the open untraced: only a refusal is traced.
TEST_F(MMBFile, open_finds_the_folder_of_any_name_and_traces_only_refusals)
{
    std::filesystem::remove(root + LOCAL_NAME);
    reset(LOCAL_NAME, 0);
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(root);
    const std::pair<std::string, bool> cases[] = {
        {"relative.txt", true},
        {"/no-such-file.mmb", false},
        {root + "/no-such-folder/file", false},
    };
    for (const auto& [name, opens] : cases) {
        InitMMBFile file;
        snprintf(file.path, sizeof file.path, "%s", name.c_str());
        file.open(name == "relative.txt" ? 1 : 0);
        EXPECT_EQ(file.fp != nullptr, opens) << name;
    }
    std::filesystem::current_path(saved);
    EXPECT_TRUE(std::filesystem::is_regular_file(root + "/relative.txt"));
    EXPECT_EQ(localLines(), Lines());
}

TEST_F(MMBFile, setMode_throws_for_a_number_outside_the_table)
{
    reset(LOCAL_NAME, 0);
    InitMMBFirm::getInstance()->mmbId = 1;
    for (int number : {5, -1}) {
        InitMMBFile file;
        strcpy(file.path, "/var/mmb/some.file");
        file.setMode(4);
        EXPECT_STREQ(file.mode, "a");
        EXPECT_EQ(thrownRecord([&] { file.setMode(number); }), (std::vector<uint8_t>{1, 0xF1, 0x39, 1, 0, 0, 0, 0}))
            << number;
        EXPECT_STREQ(file.mode, "a") << "mode kept after " << number;
    }
    EXPECT_EQ(localLines(), Lines(2, "RUN# 20015 setMode /var/mmb/some.file(sec=*)"));
}

} // namespace
