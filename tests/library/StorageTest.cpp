// What supervision leaves on the storage: records synced, full folders,
// cores of a crash loop, stray cores and the pruning at start-up. The test
// runs in a mount namespace of its own with a fresh /var and /tmp, since
// the down-info files and the boot-cause markers lie at fixed paths; fsync
// and sync are this program's own, so that it sees what the library puts on
// the storage. The device shim serves a simulated board's registers.
#include "BoardLogs.h"
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "InitMMBProcess.h"
#include "InitMMBProcessMGR.h"
#include "InitMMBStorage.h"
#include "NvramLayout.h"
#include "TestBoard.h"
#include "ThrownRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> synced;  // paths given to fsync, in order
int syncCalls = 0;
int firmUpModeAtSync = -1;

} // namespace

extern "C" int fsync(int fd)
{
    char link[64];
    char target[512] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, target, sizeof target - 1) > 0)
        synced.push_back(target);
    return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" void sync()
{
    ++syncCalls;
    firmUpModeAtSync = InitMMBFirm::getInstance()->header.firmUpMode;
    syscall(SYS_sync);
}

namespace {

using Lines = std::vector<std::string>;
using Names = std::set<std::string>;

constexpr const char* DEBUG_ROOT = "/var/debug";  // MMB_DEBUG_PATH
const std::string LOG_DIR = std::string(DEBUG_ROOT) + "/var/mmb/log/init";
const std::string TRACE_DIR = std::string(DEBUG_ROOT) + "/var/mmb/log";
const std::string CORE_DIR = std::string(DEBUG_ROOT) + "/var/mmb/core";
const std::string DUMP_DIR = std::string(DEBUG_ROOT) + "/mnt/dump";
const std::string KERNEL_DIR = std::string(DEBUG_ROOT) + "/proc/sys/kernel";
const std::string SAVE_DIR = "/var/mmb/core/core_save";  // the down-info files' fixed folder

class PrivateVar : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "needs root";
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(mount("tmpfs", "/var", "tmpfs", 0, "size=16m"), 0);
        ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "size=1m"), 0);
        setenv("MMB_DEBUG_PATH", DEBUG_ROOT, 1);
        InitLocalTrace::getInstance()->fileName = "/trace.log";
    }
};
[[maybe_unused]] ::testing::Environment* const privateVar = ::testing::AddGlobalTestEnvironment(new PrivateVar);

Names namesIn(const std::string& folder)
{
    Names names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Trace lines since the test began.
Lines traces()
{
    return traceLines(std::string(DEBUG_ROOT) + "/trace.log");
}

void write(const std::string& path, const std::string& content, int ageSeconds = 0)
{
    std::ofstream(path) << content;
    if (ageSeconds == 0)
        return;
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= ageSeconds;
    times[1] = times[0];
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class Storage : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string& folder : {LOG_DIR, CORE_DIR, DUMP_DIR, KERNEL_DIR, SAVE_DIR}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        InitLocalTrace::getInstance()->lineCount = 0;  // the next trace starts the file afresh
        synced.clear();
        syncCalls = 0;
    }

    // A folder that holds nothing more: a tmpfs of one page, filled.
    static void fill(const std::string& folder)
    {
        ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4k"), 0) << folder;
        std::ofstream(folder + "/filler") << std::string(4096, 'f');
    }
    static void unfill(const std::string& folder) { umount(folder.c_str()); }

    // The reboot path of a daemon that may not be restarted: its down-info
    // file, its warning record, and the record thrown.
    static void rebootForDeath()
    {
        InitMMBProcessMGR& manager = *InitMMBProcessMGR::getInstance();
        auto* process = new InitMMBProcess("/opt/mmb/bin/");
        process->initialize("mmbmond", 0, 0, 7, 0);
        process->pid = 4242;
        manager.activeProcs.push_back(process);
        EXPECT_FALSE(thrownRecord([&] { manager.checkProcDown(manager.activeProcs, 4242, 0x0100); }).empty());
        manager.activeProcs.clear();
        delete process;
    }
};

TEST_F(Storage, records_reach_the_storage_file_and_folder)
{
    rebootForDeath();
    ASSERT_EQ(namesIn(SAVE_DIR).size(), 1u);
    ASSERT_EQ(namesIn(LOG_DIR).size(), 1u);
    const std::string downInfo = SAVE_DIR + "/" + *namesIn(SAVE_DIR).begin();
    const std::string record = LOG_DIR + "/" + *namesIn(LOG_DIR).begin();
    EXPECT_EQ(fs::file_size(downInfo), 2048u);
    EXPECT_EQ(fs::file_size(record), 16u);
    EXPECT_EQ(synced, (Lines{downInfo, SAVE_DIR, record, LOG_DIR}));
}

// The record is lost, but traced, and no empty file stands for it; the
// down-info file is lost silently, as every failure in collecting it.
TEST_F(Storage, full_folders_leave_no_empty_record_and_trace_the_lost_one)
{
    fill(LOG_DIR);
    fill(SAVE_DIR);
    rebootForDeath();
    EXPECT_EQ(namesIn(LOG_DIR), Names{"filler"});
    EXPECT_EQ(namesIn(SAVE_DIR), Names{"filler"});
    unfill(LOG_DIR);
    unfill(SAVE_DIR);
    const std::regex lost(R"(RUN# 20011 write\(/var/debug/var/mmb/log/init/[0-9]+\.[0-9]{3}\) failed errno=28)");
    Lines failures;
    for (const std::string& line : traces())
        if (line.find("failed") != std::string::npos)
            failures.push_back(line);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(std::regex_match(failures[0], lost)) << failures[0];
}

// The marker that makes every start AC-ON until the board's I2C
// initialisation completes must outlive a power cut right after it.
TEST_F(Storage, power_on_marker_reaches_the_storage)
{
    TestBoard board;
    board.useInProcess();
    board->setReg(0x600, 0x0080);  // the power came on
    fs::create_directories("/var/mmb/fmem");
    InitMMBFirm firm;
    firm.initialize();
    EXPECT_EQ(firm.bootCause, InitMMBFirm::AC_ON);
    EXPECT_EQ(synced, (Lines{"/var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE", "/var/mmb/fmem"}));
}

TEST_F(Storage, standby_copy_is_synced_before_the_update_is_committed)
{
    InitMMBFirm& firm = *InitMMBFirm::getInstance();
    firm.header.firmUpMode = nvram::FIRMUP_APPLY;
    firm.header.firmChange = 1;
    firm.header.bootRomChange = 0;
    firm.setFirmUpInfo();
    EXPECT_EQ(syncCalls, 1);
    EXPECT_EQ(firmUpModeAtSync, nvram::FIRMUP_APPLY);
    EXPECT_EQ(firm.header.firmUpMode, nvram::FIRMUP_NONE);
}

// One core per module reaches the dump area on every crash: older cores of
// the module (a stray from a start wait, a board that adds the pid) and the
// core of a module whose name begins the same never break the move.
TEST_F(Storage, each_crash_of_a_loop_saves_the_newest_core_of_its_module)
{
    write(CORE_DIR + "/core.mmbmond", "sibling", 50);
    write(CORE_DIR + "/core.mmbmon.100", "stray", 40);
    for (int crash = 1; crash <= 4; ++crash) {
        const std::string content = "crash " + std::to_string(crash);
        write(CORE_DIR + "/core.mmbmon." + std::to_string(200 + crash), content, 10 - crash);
        InitMMBProcess process("/opt/mmb/bin/");
        process.initialize("mmbmon", 1, 0, 7, 0);
        ASSERT_EQ(process.getCoredump(), 0) << content;
        EXPECT_EQ(namesIn(CORE_DIR), Names{"core.mmbmond"}) << content;
        EXPECT_EQ(sim::readFile(CORE_DIR + "/core.mmbmond"), "sibling");
        ASSERT_EQ(system(("gzip -dc " + DUMP_DIR + "/core.mmbmon.gz > " + DEBUG_ROOT + "/unpacked").c_str()), 0);
        EXPECT_EQ(sim::readFile(std::string(DEBUG_ROOT) + "/unpacked"), content);
    }
}

TEST_F(Storage, start_up_sets_the_core_pattern_and_clears_stray_cores)
{
    for (const char* name : {"core_pattern", "core_uses_pid"})
        write(KERNEL_DIR + "/" + name, "");
    for (const char* name : {"core.mmbipmid.77", "core.mmbmon", "core_work", "core_work.gz", "segfault.txt"})
        write(CORE_DIR + "/" + name, "x");
    fs::create_directories(CORE_DIR + "/core_save");
    InitMMBStorage::tidy();
    EXPECT_EQ(sim::readFile(KERNEL_DIR + "/core_pattern"), "/var/mmb/core/core.%e");
    EXPECT_EQ(sim::readFile(KERNEL_DIR + "/core_uses_pid"), "0");
    EXPECT_EQ(namesIn(CORE_DIR), (Names{"core_save", "segfault.txt"}));
    Lines removed = traces();
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (Lines{"RUN# 20002 stray core removed(core.mmbipmid.77)", "RUN# 20002 stray core removed(core.mmbmon)",
                              "RUN# 20002 stray core removed(core_work)", "RUN# 20002 stray core removed(core_work.gz)"}));
}

// A kernel without the settings (or a read-only /proc): said, and the
// start goes on.
TEST_F(Storage, core_pattern_that_cannot_be_set_is_traced)
{
    InitMMBStorage::setCorePattern();
    EXPECT_EQ(traces(), (Lines{"RUN# 20011 write(/var/debug/proc/sys/kernel/core_pattern) failed errno=2",
                               "RUN# 20011 write(/var/debug/proc/sys/kernel/core_uses_pid) failed errno=2"}));
}

// The newest of each kind stay, and whatever this start-up wrote, however
// many; files of other names are left alone.
TEST_F(Storage, pruning_keeps_the_newest_of_each_kind_and_this_starts_records)
{
    for (int age = 1; age <= 5; ++age) {
        const std::string stamp = std::to_string(1000 - age);
        write(LOG_DIR + "/" + stamp + ".000", "", 100 + age);
        write(SAVE_DIR + "/init_downinfo." + stamp, "", 100 + age);
        write(SAVE_DIR + "/bt.mmbmon." + stamp, "", 100 + age);
    }
    write(LOG_DIR + "/1.000", "");  // written since this process started: an old name, a new file
    write(SAVE_DIR + "/init_downinfo.1", "");
    write(SAVE_DIR + "/other", "", 500);
    struct Case {
        int keep;
        Names log;
        Names save;
    };
    const Case cases[] = {
        {5, {"996.000", "997.000", "998.000", "999.000", "1.000"},
         {"init_downinfo.996", "init_downinfo.997", "init_downinfo.998", "init_downinfo.999", "init_downinfo.1",
          "bt.mmbmon.995", "bt.mmbmon.996", "bt.mmbmon.997", "bt.mmbmon.998", "bt.mmbmon.999", "other"}},
        {3, {"998.000", "999.000", "1.000"},
         {"init_downinfo.998", "init_downinfo.999", "init_downinfo.1", "bt.mmbmon.997", "bt.mmbmon.998",
          "bt.mmbmon.999", "other"}},
        {-1, {"1.000"}, {"init_downinfo.1", "other"}},
    };
    for (const Case& c : cases) {
        InitMMBStorage::pruneRecords(c.keep);
        EXPECT_EQ(namesIn(LOG_DIR), c.log) << c.keep;
        EXPECT_EQ(namesIn(SAVE_DIR), c.save) << c.keep;
    }
}

// The boot's moment on the real clock carries its fraction: taken in whole
// seconds it put the start up to a second late on some machines, and the
// files this start had just written were pruned as old.
TEST(StorageStart, process_start_is_reckoned_to_the_nanosecond)
{
    struct Case {
        timespec now;
        timespec sinceBoot;
        unsigned long long ticks;
        timespec start;
    };
    const Case cases[] = {
        {{100, 100000000}, {10, 900000000}, 550, {94, 700000000}},
        {{100, 900000000}, {10, 100000000}, 555, {96, 350000000}},
        {{1800000000, 0}, {1, 0}, 315360000000ULL, {4953599999, 0}},
    };
    for (const Case& c : cases) {
        timespec start = InitMMBStorage::startOnRealClock(c.now, c.sinceBoot, c.ticks, 100);
        EXPECT_EQ(start.tv_sec, c.start.tv_sec) << c.ticks;
        EXPECT_EQ(start.tv_nsec, c.start.tv_nsec) << c.ticks;
    }
}

// At the start, before this boot keeps its own, the three newest kept
// traces of earlier boots stay, whatever the records' number; the history
// itself is never pruned.
TEST_F(Storage, pruning_keeps_the_three_newest_traces_of_earlier_boots)
{
    for (int boot = 1; boot <= 5; ++boot)
        write(TRACE_DIR + "/mmbinit." + std::to_string(boot) + ".log", "", 100 - boot);
    write(TRACE_DIR + "/history", "", 500);
    InitMMBStorage::pruneRecords(0);
    EXPECT_EQ(namesIn(TRACE_DIR), (Names{"init", "history", "mmbinit.3.log", "mmbinit.4.log", "mmbinit.5.log"}));
}

// A record and the trace so far are on the storage when append returns;
// the trace is kept under the start record's number.
TEST_F(Storage, history_record_and_kept_trace_reach_the_storage)
{
    fs::remove(TRACE_DIR + "/history");
    InitMMBStorage::setCorePattern();  // a trace line
    InitMMBHistory::append(InitMMBHistory::START, InitMMBHistory::PROVISIONAL);
    const std::string kept = TRACE_DIR + "/mmbinit.0.log";
    EXPECT_EQ(sim::readFile(kept), sim::readFile(std::string(DEBUG_ROOT) + "/trace.log"));
    for (const std::string& path : {TRACE_DIR + "/history", TRACE_DIR, kept})
        EXPECT_NE(std::find(synced.begin(), synced.end(), path), synced.end()) << path;
    EXPECT_EQ(fs::file_size(TRACE_DIR + "/history"), static_cast<uintmax_t>(InitMMBHistory::RECORD_SIZE));
}

} // namespace
