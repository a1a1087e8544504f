// The Active/Standby decision and the mode-change sequence, in this test
// process on a simulated board (device shim preloaded: the board's clock
// makes every sleep pass at once and counts it in the event log).
#include "InProcessBoard.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Other : public InProcessBoard {
protected:
    void SetUp() override
    {
        InProcessBoard::SetUp();
        board_->setClock(1000, 0, 0);
        other_ = InitMMBOther::getInstance();
        other_->disableChgModeReq();
        other_->mmbMode = other_->otherInstalled = 0;
        other_->opened = other_->forcedChange = other_->statusBit9 = false;
        other_->checkDualOnIdle = false;
        InitMMBOther::dupProcPID = getpid();
        setActive(true);
    }
    void TearDown() override
    {
        other_->disableChgModeReq();
        InProcessBoard::TearDown();
    }

    static void setActive(bool active) { InitMMBFirm::getInstance()->activeMode = active ? 0 : 1; }
    void dual(const std::string& key, const std::string& value) const { board_->setDualSetting(key, value); }

    long sleeps() const
    {
        std::vector<std::string> events = board_->events();
        return std::count_if(events.begin(), events.end(), [](const std::string& e) { return e == "sleep 1"; });
    }

    // Runs an operation and gives the mode-change text it threw, or "".
    template <typename Operation>
    static std::string order(Operation operation)
    {
        try {
            operation();
        } catch (const char* text) {
            return text;
        }
        return "";
    }

    InitMMBOther* other_ = nullptr;
};

TEST_F(Other, install_check_failure_counts_as_a_single_board)
{
    dual("install", "1");
    dual("install-throws", "1");
    EXPECT_EQ(other_->checkOtherInstall(), 0);
    dual("install-throws", "0");
    EXPECT_NE(other_->checkOtherInstall(), 0);
}

// A single board whose status cannot be read is traced as Active; the
// install check tells a single board from a pair.
TEST_F(Other, decisions_trace_mode_and_pair)
{
    struct Case {
        bool final;  // open, else the provisional decide
        const char* active;
        const char* statusResult;
        const char* install;
        int mode;
        bool bit9;
        std::vector<std::string> traces;
    };
    const Case cases[] = {
        {false, "0x40000000", "0", "1", 0, true,
         {"RUN# 20002 Other MMB status read(00010001)",
          "RUN# 20002 Decision of Provisional MMB mode(Active:Duplicate) error(0)"}},
        {false, "0x00000000", "0", "0", 1, true,
         {"RUN# 20002 Other MMB status read(00010001)",
          "RUN# 20002 Decision of Provisional MMB mode(Standby:Single) error(0)"}},
        {false, "0x00000000", "-1", "0", 1, false,
         {"RUN# 20002 Other MMB status read(00000000)",
          "RUN# 20002 Decision of Provisional MMB mode(Active:Single) error(-1)"}},
        {false, "0x00000000", "-1", "1", 1, false,
         {"RUN# 20002 Other MMB status read(00000000)",
          "RUN# 20002 Decision of Provisional MMB mode(Standby:Duplicate) error(-1)"}},
        {true, "0x00000000", "-1", "0", 1, false,
         {"RUN# 20002 MMB status read(s=40000000 o=00000000)",
          "RUN# 20002 Decision of MMB mode(40000000 Active:Single) error(-1)"}},
        {true, "0x00000000", "-1", "1", 1, false,
         {"RUN# 20002 MMB status read(s=40000000 o=00000000)",
          "RUN# 20002 Decision of MMB mode(00000000 Standby:Duplicate) error(-1)"}},
        {true, "0x40000000", "0", "1", 0, true,
         {"RUN# 20002 MMB status read(s=40000200 o=00010001)",
          "RUN# 20002 Decision of MMB mode(40000000 Active:Duplicate) error(0)"}},
    };
    dual("own", "0x40000200");
    dual("other", "0x00010001");
    for (const Case& c : cases) {
        clearTraces();
        other_->opened = false;
        setActive(c.mode == 0);
        dual(c.final ? "active" : "init-active", c.active);
        dual("status-result", c.statusResult);
        dual("install", c.install);
        EXPECT_EQ(c.final ? other_->open(nullptr, nullptr, nullptr) : other_->decide(true, 3), c.mode) << c.traces[1];
        EXPECT_EQ(other_->statusBit9, c.bit9) << c.traces[1];
        EXPECT_EQ(other_->opened, c.final) << c.traces[1];
        EXPECT_EQ(traces(), c.traces);
        if (c.final) {  // made once: the stored mode, nothing asked again
            dual("active", c.mode == 0 ? "0x00000000" : "0x40000000");
            EXPECT_EQ(other_->open(nullptr, nullptr, nullptr), c.mode) << c.traces[1];
            EXPECT_EQ(traces(), c.traces);
        }
    }
}

TEST_F(Other, final_decision_against_the_running_mode_orders_the_change)
{
    const std::tuple<bool, const char*, std::string, std::string> cases[] = {
        {true, "0x00000000", "INACTIVATE", "RUN# 20001 changing MMB Mode from Active to Standby "},
        {false, "0x40000000", "ACTIVATE", "RUN# 20001 changing MMB Mode from Standby to Active"},
    };
    for (const auto& [active, word, text, trace] : cases) {
        other_->opened = false;
        other_->chgState = 0;
        clearTraces();
        setActive(active);
        dual("active", word);
        EXPECT_EQ(order([&] { other_->open(nullptr, nullptr, nullptr); }), text);
        EXPECT_EQ(other_->chgState, 1);
        std::vector<std::string> lines = traces();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], std::string("RUN# 20001 Change MMB Mode(") + (active ? "Standby" : "Active") + ")");
        EXPECT_EQ(lines[3], trace);
    }
}

TEST_F(Other, change_rules_accept_requests_by_the_own_status_word)
{
    struct Case {
        const char* own;
        bool active;
        int accepted;
        const char* trace;  // or null: no trace
        bool forced;
    };
    const Case cases[] = {
        {"0x00000100", false, 1, "DBG# 20001 Change MMB Mode(to Active)", false},
        {"0x00000100", true, 0, nullptr, false},
        {"0x00000104", true, 1, "DBG# 20001 Change MMB Mode(to Active)", false},
        {"0x00000004", true, 1, "DBG# 20001 Change MMB Mode(to Standby)", false},
        {"0x00000004", false, 0, nullptr, false},
        {"0x00000008", true, 1, nullptr, true},
        {"0x00000040", false, 1, nullptr, true},
        {"0x40000000", false, 1, "DBG# 20001 Change MMB Mode(to Active)", false},
        {"0x40000000", true, 0, nullptr, false},
        {"0xC0000000", true, 1, "DBG# 20001 Change MMB Mode(to Active)", false},
        {"0x80000000", true, 1, "DBG# 20001 Change MMB Mode(to Standby)", false},
        {"0x80000000", false, 0, nullptr, false},
        {"0x00000200", true, 0, nullptr, false},
        // Several rules match: the first one decides.
        {"0x00000108", false, 1, "DBG# 20001 Change MMB Mode(to Active)", false},
        {"0xC0000004", true, 1, "DBG# 20001 Change MMB Mode(to Standby)", false},
        {"0x8000000C", true, 1, "DBG# 20001 Change MMB Mode(to Standby)", false},
        {"0x40000008", false, 1, nullptr, true},
    };
    other_->enableChgModeReq();
    for (const Case& c : cases) {
        clearTraces();
        other_->forcedChange = false;
        other_->chgState = 1;
        setActive(c.active);
        dual("own", c.own);
        EXPECT_EQ(other_->isChangeModeReq(), c.accepted) << c.own << c.active;
        EXPECT_EQ(traces(), c.trace ? std::vector<std::string>{c.trace} : std::vector<std::string>{}) << c.own;
        EXPECT_EQ(other_->forcedChange, c.forced) << c.own;
    }
    other_->chgState = 0;
    dual("own", "0x00000100");
    setActive(false);
    EXPECT_EQ(other_->isChangeModeReq(), 0);  // only in state 1
    other_->chgState = 1;
    other_->disableChgModeReq();
    other_->chgState = 1;
    EXPECT_EQ(other_->isChangeModeReq(), 0);  // only while requests are enabled
}

// Leaves a socket at path: it exists, but no open reads it. Bound from its
// folder, as a board path is too long for a socket address.
void leaveSocket(const fs::path& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.filename().c_str());
    fs::path working = fs::current_path();
    fs::current_path(path.parent_path());
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::current_path(working);
    close(fd);
}

void hangUpFromAnotherProcess()
{
    pid_t parent = getpid();
    pid_t child = fork();
    if (child == 0) {
        kill(parent, SIGHUP);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
}

TEST_F(Other, change_sequence_follows_its_table)
{
    enum Event { ENABLE, ENABLE_AGAIN, DISABLE, DISABLED_HUP, HUP, FOREIGN_HUP, CAUSE, FORCE, WAIT, COMPLETE };
    struct Row {
        int from;
        Event event;
        int to;
        bool throws;
    };
    const Row rows[] = {
        {3, ENABLE, 0, false},  {3, DISABLE, 0, false},  {0, HUP, 1, false},     {2, HUP, 3, false},
        {1, HUP, 1, false},     {3, HUP, 3, false},      {4, HUP, 4, false},     {0, FOREIGN_HUP, 0, false},
        {2, FOREIGN_HUP, 2, false}, {1, CAUSE, 2, true}, {0, CAUSE, 0, false},   {2, CAUSE, 2, false},
        {0, FORCE, 1, true},    {3, FORCE, 4, true},     {4, FORCE, 0, true},    {3, WAIT, 4, false},
        {0, WAIT, 1, false},    {2, WAIT, 3, false},     {4, WAIT, 0, false},    {2, COMPLETE, 0, false},
        {4, COMPLETE, 0, false}, {2, ENABLE_AGAIN, 2, false}, {0, DISABLED_HUP, 0, false},
    };
    setActive(false);
    dual("own", "0x00000100");  // a request the rules accept on a Standby board
    for (const Row& row : rows) {
        other_->disableChgModeReq();
        if (row.event != ENABLE)
            other_->enableChgModeReq();
        other_->chgState = row.from;
        bool threw = false;
        switch (row.event) {
        case ENABLE:
        case ENABLE_AGAIN:
            other_->enableChgModeReq();
            break;
        case DISABLE:
            other_->disableChgModeReq();
            break;
        case DISABLED_HUP:
            other_->disableChgModeReq();
            kill(getpid(), SIGHUP);
            break;
        case HUP:
            kill(getpid(), SIGHUP);
            break;
        case FOREIGN_HUP:
            hangUpFromAnotherProcess();
            break;
        case CAUSE:
            threw = !order([&] { other_->causeChgExp(false); }).empty();
            break;
        case FORCE:
            threw = !order([&] { other_->causeChgExp(true); }).empty();
            break;
        case WAIT:
            other_->waitSwitchComp();
            break;
        case COMPLETE:
            other_->sendChangeCompResp();
            break;
        }
        EXPECT_EQ(other_->chgState, row.to) << "from " << row.from << " event " << row.event;
        EXPECT_EQ(threw, row.throws) << "from " << row.from << " event " << row.event;
    }
}

TEST_F(Other, hang_up_is_traced_with_sender_and_state)
{
    other_->enableChgModeReq();
    kill(getpid(), SIGHUP);
    hangUpFromAnotherProcess();
    std::vector<std::string> lines = traces();
    ASSERT_EQ(lines.size(), 2u);
    std::string self = std::to_string(getpid());
    EXPECT_EQ(lines[0], "DBG# 20001 modeChange_sighandler(enable) 1 " + self + " : " + self + " 1");
    EXPECT_EQ(lines[1].rfind("DBG# 20001 modeChange_sighandler(enable) 1 ", 0), 0u);
    EXPECT_NE(lines[1].find(" : " + self + " 1"), std::string::npos);  // another sender: state unchanged
    EXPECT_NE(InitMMBOther::sigPid, getpid());  // the last sender was the other process
}

TEST_F(Other, idle_order_check_looks_at_dualprocess_only_when_asked)
{
    EXPECT_EQ(other_->causeChgExp(false), 0);
    EXPECT_TRUE(traces().empty());
    other_->checkDualOnIdle = true;
    EXPECT_EQ(other_->causeChgExp(false), 0);
    EXPECT_EQ(traces(), std::vector<std::string>{"RUN# 20001 InitMMBProcessMGR::checkdualprocess"});
    fs::create_directories(board_->boardPath("/var/run/dualprocess.pid"));  // unreadable
    EXPECT_EQ(other_->causeChgExp(false), 1);
}

// A forced change still asks the rules, which note a forced request.
TEST_F(Other, forced_change_still_asks_for_the_request)
{
    other_->enableChgModeReq();
    other_->chgState = 1;
    setActive(false);
    dual("own", "0x00000008");
    EXPECT_EQ(order([&] { other_->causeChgExp(true); }), "ACTIVATE");
    EXPECT_TRUE(other_->forcedChange);
}

TEST_F(Other, dualprocess_liveness_from_its_pid_file)
{
    std::string pidFile = board_->boardPath("/var/run/dualprocess.pid");
    const std::string notAPid = "RUN# 20003 read(" + pidFile + ") failed errno=" + std::to_string(EINVAL);
    struct Case {
        const char* what;
        std::string content;  // "-" for no file, "/" for a folder, "=" for a socket in its place
        int result;
        std::string lastTrace;
    };
    const Case cases[] = {
        {"no pid file", "-", 0, "RUN# 20001 InitMMBProcessMGR::checkdualprocess"},
        {"live pid", std::to_string(getpid()) + "\n", 0, "RUN# 20002 InitMMBProcessMGR::checkdualprocess OK"},
        {"empty file", "", 0, "RUN# 20002 InitMMBProcessMGR::checkdualprocess OK"},  // written after it is made
        {"pid without newline", std::to_string(getpid()), 0, "RUN# 20002 InitMMBProcessMGR::checkdualprocess OK"},
        {"text", "dual\n", 1, notAPid},
        {"zero: the own process group", "0\n", 1, notAPid},
        {"minus one: every process", "-1\n", 1, notAPid},
        {"init", "1\n", 1, notAPid},
        {"digits then text", "123abc\n", 1, notAPid},
        {"two lines", "12\n34\n", 1, notAPid},
        {"unreadable", "/", 1, "RUN# 20003 read(" + pidFile + ") failed errno=21"},
        {"unopenable", "=", 1, "RUN# 20003 open(" + pidFile + ") failed errno=6"},
    };
    for (const Case& c : cases) {
        clearTraces();
        fs::remove_all(pidFile);
        if (c.content == "/")
            fs::create_directory(pidFile);
        else if (c.content == "=")
            leaveSocket(pidFile);
        else if (c.content != "-")
            sim::writeFile(pidFile, c.content);
        EXPECT_EQ(other_->checkdualprocess(), c.result) << c.what;
        EXPECT_EQ(traces().back(), c.lastTrace) << c.what;
    }
}

TEST_F(Other, dualprocess_pid_is_kept_while_no_record_names_it)
{
    InitMMBOther::dupProcPID = 1234;
    other_->setPid();
    EXPECT_EQ(InitMMBOther::dupProcPID, 1234);
}

TEST_F(Other, waiting_for_the_switch_counts_its_seconds)
{
    const std::tuple<int, int, long> cases[] = {{3, 4, 0}, {4, 0, 60}, {2, 3, 60}, {0, 1, 60}};
    other_->enableChgModeReq();
    for (auto [from, to, seconds] : cases) {
        long before = sleeps();
        other_->chgState = from;
        other_->waitSwitchComp();
        EXPECT_EQ(other_->chgState, to) << from;
        EXPECT_EQ(sleeps() - before, seconds) << from;
    }
}

// dualprocess's SIGHUP arriving N seconds on is seen at the check after
// that second; after the 60th second nothing is checked any more.
TEST_F(Other, switch_signal_arriving_during_the_wait_ends_it)
{
    other_->enableChgModeReq();
    for (int second : {10, 59, 60}) {
        board_->setClock(1000, 0, 0);
        fs::remove(board_->path("log/events"));
        other_->chgState = 2;
        sim::writeFile(board_->path("hw/timeline"), std::to_string(1000 + second) + " signal 1\n");
        other_->waitSwitchComp();
        EXPECT_EQ(other_->chgState, 4) << second;
        EXPECT_EQ(sleeps(), second) << second;
    }
}

} // namespace
