// The board's network services on simulated boards: the commands the
// manager runs, in order, the files it generates, the records it throws.
// net-steps drives the manager; the library traces each service's name and
// each command it runs, and the simulated init scripts record every call.
#include "InitScripts.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct Service {
    const char* path;
    const char* name;
    bool foreground;
    bool activeOnly;  // runs only while the board is Active
};

// The manager's list, in its order.
const Service SERVICES[] = {
    {"/etc/init.d/misc", "Services setup", true, false},
    {"/etc/init.d/ntpd", "Ntpd", true, false},
    {"/etc/init.d/ldap", "Slapd", false, false},
    {"/etc/init.d/xinetd", "Xinetd", true, false},
    {"/etc/init.d/snmpd", "Snmpd", true, false},
    {"/etc/init.d/lighttpd", "Thttpd", false, true},
    {"/etc/init.d/postfix", "Mail Daemons", false, true},
    {"/etc/init.d/fcron", "Crond", false, false},
};
const Service& MISC = SERVICES[0];
const Service& NTPD = SERVICES[1];
const Service& LDAP = SERVICES[2];
const Service& XINETD = SERVICES[3];
const Service& LIGHTTPD = SERVICES[5];
const Service& POSTFIX = SERVICES[6];
const Service& FCRON = SERVICES[7];

enum Mode { ACTIVE, STANDBY };

// One command as the library traces it: the service's name, then the text.
struct Command {
    std::string name;
    std::string text;
};
using Commands = std::vector<Command>;

Commands operator+(Commands first, const Commands& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Command run(const Service& service, const std::string& verb)
{
    bool background = !service.foreground && verb != "stop";
    return {service.name, std::string(service.path) + " " + verb + (background ? " &" : "")};
}

// The two generated files, written on every start.
Commands generate(int mmb, Mode mode)
{
    return {{"Genarating MMB ID file", "/bin/echo -e \"MMBID=" + std::to_string(mmb) + "\\012MMBMODE=" +
                                           (mode == ACTIVE ? "A" : "S") + "\" > /etc/sysconfig/mmbid"},
            {"Exporting MMB Configure data", "/opt/mmb/bin/dspmmbconfig > /etc/sysconfig/mmbconfig"}};
}

// verb for every service in list order, leaving out the Active-only ones on a Standby board.
Commands each(const std::string& verb, Mode mode = ACTIVE)
{
    Commands commands;
    for (const Service& service : SERVICES)
        if (mode == ACTIVE || !service.activeOnly)
            commands.push_back(run(service, verb));
    return commands;
}

const Commands START = generate(0, ACTIVE) + each("start");

// A start with every service started on a board that has become Standby:
// the Active-only services are stopped, the others restarted.
Commands restartOnStandby()
{
    Commands commands = generate(0, STANDBY);
    for (const Service& service : SERVICES)
        commands.push_back(run(service, service.activeOnly ? "stop" : "restart"));
    return commands;
}

Commands firstOf(const Commands& commands, std::size_t count)
{
    return Commands(commands.begin(), commands.begin() + static_cast<long>(count));
}

// The script paths of services, each with its state as net-steps prints it.
std::string states(const std::vector<const Service*>& started)
{
    std::string text;
    for (const Service& service : SERVICES) {
        bool on = std::find(started.begin(), started.end(), &service) != started.end();
        text += std::string(service.path) + (on ? " started\n" : " stopped\n");
    }
    return text;
}

std::vector<const Service*> all(Mode mode = ACTIVE)
{
    std::vector<const Service*> services;
    for (const Service& service : SERVICES)
        if (mode == ACTIVE || !service.activeOnly)
            services.push_back(&service);
    return services;
}

// The services from first to the end of the list.
std::vector<const Service*> from(const Service& first)
{
    std::vector<const Service*> services = all();
    return std::vector<const Service*>(services.begin() + (&first - SERVICES), services.end());
}

std::vector<const Service*> allBut(const Service& left)
{
    std::vector<const Service*> services = all();
    services.erase(std::find(services.begin(), services.end(), &left));
    return services;
}

// Texts of the library's level-1 traces of message 20001.
std::vector<std::string> traceTexts(const sim::SimBoard& board)
{
    const std::string prefix = "DBG# 20001 ";
    std::vector<std::string> texts;
    for (const std::string& line : sim::readLines(board.boardPath("/tmp/net-steps.trace")))
        if (line.compare(0, prefix.size(), prefix) == 0)
            texts.push_back(line.substr(prefix.size(), line.rfind("(sec=") - prefix.size()));
    return texts;
}

std::vector<std::string> traceOf(const Commands& commands)
{
    std::vector<std::string> texts;
    for (const Command& command : commands) {
        texts.push_back(command.name);
        texts.push_back("\"" + command.text + "\"");
    }
    return texts;
}

// The init script calls among the commands. A background script may record
// its call after a later one, so the calls are compared in sorted order.
std::vector<std::string> sortedScriptCalls(const Commands& commands)
{
    std::vector<std::string> calls;
    for (const Command& command : commands)
        if (command.text.compare(0, 12, "/etc/init.d/") == 0)
            calls.push_back(command.text);
    std::sort(calls.begin(), calls.end());
    return calls;
}

std::vector<std::string> sortedScriptCalls(const sim::SimBoard& board)
{
    std::vector<std::string> calls = sim::initScriptCalls(board);
    std::sort(calls.begin(), calls.end());
    return calls;
}

// The commands ran in this order, and every init script among them ran as its text says.
void expectCommands(const sim::SimBoard& board, const Commands& expected, const std::string& what)
{
    EXPECT_EQ(traceTexts(board), traceOf(expected)) << what;
    EXPECT_EQ(sortedScriptCalls(board), sortedScriptCalls(expected)) << what;
}

// The generated files hold what the commands make: the board's number and
// mode, and what dspmmbconfig prints.
TEST(NetService, generated_files_hold_the_board_number_mode_and_configuration)
{
    TestBoard board({1});
    netSteps(*board, {"mode=standby", "start"});
    ProcessResult printed = runOnBoard(*board, {"/opt/mmb/bin/dspmmbconfig"});
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_NE(printed.out, "");
    EXPECT_EQ(sim::readFile(board->boardPath("/etc/sysconfig/mmbconfig")), printed.out);
    EXPECT_EQ(sim::readFile(board->boardPath("/etc/sysconfig/mmbid")), "MMBID=1\nMMBMODE=S\n");
}

struct Sequence {
    const char* what;
    std::vector<std::string> steps;
    Commands commands;
    std::vector<const Service*> started;  // when the steps are done
    std::string thrown = {};              // each record thrown, as net-steps prints it
    std::function<void(const sim::SimBoard&)> arrange = {};  // before the steps, when given
    int mmb = 0;
};

std::function<void(const sim::SimBoard&)> fault(const std::string& spec)
{
    return [spec](const sim::SimBoard& board) { board.addFault(spec); };
}

// A record thrown by a service, as net-steps prints it.
std::string record(const std::string& codes, int mmb = 0)
{
    return "thrown kind=1 unit=f" + std::to_string(mmb) + " codes=29 " + codes + " 00 00 00\n";
}

// What each sequence of operations runs, leaves started and throws: a
// failing command throws and ends its operation.
TEST(NetService, each_operation_runs_the_commands_its_services_states_call_for)
{
    const std::string toggleLighttpd = std::string("toggle=") + LIGHTTPD.path;
    const Commands startMiscNtpd = {run(MISC, "start"), run(NTPD, "start")};
    const Sequence cases[] = {
        {"start on an active board", {"initialize", "start"}, START, all()},
        {"start on a standby board leaves the active-only services alone", {"mode=standby", "initialize", "start"},
         generate(1, STANDBY) + each("start", STANDBY), all(STANDBY), "", {}, 1},
        {"start before initialize only generates the files", {"start"}, generate(0, ACTIVE), {}},
        {"a second initialize keeps the eight services", {"initialize", "initialize", "start"}, START, all()},
        {"a second start restarts", {"initialize", "start", "start"},
         START + generate(0, ACTIVE) + each("restart"), all()},
        {"stop stops the started services in list order", {"initialize", "start", "stop"}, START + each("stop"), {}},
        {"stop on a standby board stops the six it started", {"mode=standby", "initialize", "start", "stop"},
         generate(0, STANDBY) + each("start", STANDBY) + each("stop", STANDBY), {}},
        {"stop before any start runs nothing", {"initialize", "stop"}, {}, {}},
        {"a board that became standby stops the active-only services", {"initialize", "start", "mode=standby", "start"},
         START + restartOnStandby(), all(STANDBY)},
        {"toggle starts a stopped service on a standby board", {"mode=standby", "initialize", toggleLighttpd},
         {run(LIGHTTPD, "start")}, {&LIGHTTPD}},
        {"toggle again stops it", {"mode=standby", "initialize", toggleLighttpd, toggleLighttpd},
         {run(LIGHTTPD, "start"), run(LIGHTTPD, "stop")}, {}},
        {"toggle stops a started service", {"initialize", "start", std::string("toggle=") + NTPD.path},
         START + Commands{run(NTPD, "stop")}, allBut(NTPD)},
        {"toggle of a path not in the list changes nothing",
         {"initialize", "start", "toggle=/etc/init.d/sshd", "toggle=/etc/init.d/ntpd/", "toggle=ntpd"}, START, all()},
        {"a start fails", {"initialize", "start"}, generate(0, ACTIVE) + startMiscNtpd, {&MISC}, record("07 01"),
         fault("script ntpd start 1")},
        {"the record names MMB 1", {"initialize", "start"}, generate(1, ACTIVE) + startMiscNtpd, {&MISC},
         record("07 01", 1), fault("script ntpd start 1"), 1},
        {"a restart fails and the service stays started", {"initialize", "start", "start"},
         START + generate(0, ACTIVE) +
             Commands{run(MISC, "restart"), run(NTPD, "restart"), run(LDAP, "restart"), run(XINETD, "restart")},
         all(), record("05 01"), fault("script xinetd restart 1")},
        // Every service's number reaches its record; the background ones fail visibly only when stopped.
        {"a start of snmpd fails", {"initialize", "start", "stop"},
         generate(0, ACTIVE) + firstOf(each("start"), 5) + firstOf(each("stop"), 4), {}, record("08 01"),
         fault("script snmpd start 1")},
        {"a stop of ldap fails", {"initialize", "start", "stop"}, START + firstOf(each("stop"), 3), from(LDAP),
         record("06 02"), fault("script ldap stop 1")},
        {"a stop of postfix fails", {"initialize", "start", "stop"}, START + firstOf(each("stop"), 7), from(POSTFIX),
         record("0b 02"), fault("script postfix stop 1")},
        {"a stop of fcron fails", {"initialize", "start", "stop"}, START + each("stop"), from(FCRON), record("0a 02"),
         fault("script fcron stop 1")},
        {"a stop fails and the pass ends", {"initialize", "start", "stop"}, START + Commands{run(MISC, "stop")}, all(),
         record("03 02"), fault("script misc stop 1")},
        {"the configuration dump is missing", {"initialize", "start"}, generate(0, ACTIVE), {}, record("02 01"),
         [](const sim::SimBoard& b) { fs::remove(b.boardPath("/opt/mmb/bin/dspmmbconfig")); }},
        {"the MMB ID file cannot be written", {"initialize", "start"}, {generate(0, ACTIVE)[0]}, {}, record("01 01"),
         [](const sim::SimBoard& b) { fs::create_directory(b.boardPath("/etc/sysconfig/mmbid")); }},
        // The shell returns at once for a background command, so its outcome is never seen.
        {"a background script fails unnoticed", {"initialize", "start"}, START, all(), "",
         fault("script ldap start 1")},
        // After the failed toggle the judge rules again: a standby start stops the service
        // instead of restarting it, and that pass ends there (the two files, then six services).
        {"a failed toggle leaves the service to its judge",
         {"initialize", "start", "mode=standby", std::string("toggle=") + LIGHTTPD.path, "start"},
         START + Commands{run(LIGHTTPD, "stop")} + firstOf(restartOnStandby(), 2 + 6), all(),
         record("09 02") + record("09 02"), fault("script lighttpd stop 1")},
    };
    for (const Sequence& c : cases) {
        TestBoard board({c.mmb}, std::to_string(&c - cases));
        if (c.arrange)
            c.arrange(*board);
        ProcessResult result = netSteps(*board, c.steps);
        EXPECT_EQ(result.status, 0) << c.what << result.err;
        bool initialized = std::find(c.steps.begin(), c.steps.end(), "initialize") != c.steps.end();
        EXPECT_EQ(result.out, c.thrown + (initialized ? states(c.started) : "")) << c.what;
        expectCommands(*board, c.commands, c.what);
    }
}

// A command with its file's path under the debug prefix: the script, or
// the file a generator writes.
Command underPrefix(Command command, const std::string& prefix)
{
    std::string::size_type redirect = command.text.find(" > ");
    std::string::size_type path = redirect == std::string::npos ? 0 : redirect + 3;
    command.text.insert(path, prefix);
    return command;
}

// The debug prefix reaches the paths inside the commands; here it leads
// back to the board's own tree.
TEST(NetService, commands_name_their_files_under_the_debug_prefix)
{
    TestBoard board;
    fs::create_directories(board->boardPath("/tmp/debug"));
    for (const char* folder : {"/etc", "/opt", "/tmp"})
        fs::create_directory_symlink(folder, board->boardPath("/tmp/debug") + folder);
    ProcessResult result = shellOnBoard(*board, "MMB_DEBUG_PATH=/tmp/debug net-steps initialize start");
    EXPECT_EQ(result.out, states(all())) << result.err;
    Commands expected;
    for (const Command& command : START)
        expected.push_back(underPrefix(command, "/tmp/debug"));
    EXPECT_EQ(traceTexts(*board), traceOf(expected));
}

// With its flag set, a start reports the change to the listening
// dualprocess once, right after services setup; without it, nothing.
TEST(NetService, activating_start_reports_the_change_once_right_after_services_setup)
{
    for (bool activating : {false, true}) {
        TestBoard board({}, activating ? "activating" : "");
        std::string steps = activating ? "activating initialize start" : "initialize start";
        ProcessResult result = shellOnBoard(*board, "dualprocess || exit 1; net-steps " + steps +
                                                        "; status=$?; kill $(cat /var/run/dualprocess.pid); exit $status");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, states(all())) << steps;
        std::vector<std::string> texts = traceOf(START);
        if (activating)  // after the two files and services setup
            texts.insert(texts.begin() + 6,
                         {"send response of change-start to dualprocess (0)", "send packet(code=80020031) on IPC"});
        EXPECT_EQ(traceTexts(*board), texts) << steps;
        EXPECT_EQ(sortedScriptCalls(*board), sortedScriptCalls(START)) << steps;
        EXPECT_EQ(eventsStartingWith(*board, "dualprocess request "),
                  std::vector<std::string>(activating, "dualprocess request 0x80020031 data 80020031"))
            << steps;
    }
}

} // namespace
