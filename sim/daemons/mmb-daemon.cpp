// A supervised board daemon, simulated. Installed under /opt/mmb/bin by the
// name of the module it stands for; what it does is written in the board's
// hw/daemons/<name>:
//   [live SECONDS] run | exit STATUS | crash | ready | ready-at-once | hangup [SENDER]
// "live" first passes that much time (board time when the board has a
// clock), "ready" sends the start signal (SIGINT) to its parent and runs,
// "ready-at-once" sends it first thing, before its own start-up, "hangup"
// sends its parent SIGHUP (claiming SENDER as the sender's pid when given;
// 0 is no process, as for a terminal hang-up) and then the start signal,
// "crash" leaves a core file named as the board's kernel would (the core
// pattern with %e and %p, ".<pid>" added when core_uses_pid is 1; the
// board's own files under /proc/sys/kernel) and dies of SIGSEGV with a core
// dump. Under the name "mmbipmid" it is the watchdog's feeder
// (sim/driver/Watchdog.h). Every start is recorded in the event log as
//   daemon <name> <arguments> nice=<niceness>
// and the pid is kept in /var/run/<name>.pid.
#include "BoardPaths.h"
#include "BoardPrograms.h"
#include "EventLog.h"
#include "StartTiming.h"
#include "Watchdog.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string behaviourOf(const char* board, const std::string& name)
{
    char path[4096];
    if (!sim::boardPath(path, sizeof path, board, "hw/daemons/%s", name.c_str()))
        return "run";
    FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return "run";
    char line[128] = {};
    if (std::fgets(line, sizeof line, file) == nullptr)
        line[0] = '\0';
    std::fclose(file);
    line[std::strcspn(line, "\n")] = '\0';
    return line[0] != '\0' ? line : "run";
}

void writePidFile(const std::string& name)
{
    std::string path = "/var/run/" + name + ".pid";
    std::string work = path + ".new";  // the pid appears whole, with the file already closed
    if (FILE* file = std::fopen(work.c_str(), "w")) {
        std::fprintf(file, "%d\n", static_cast<int>(getpid()));
        if (std::fclose(file) == 0)
            std::rename(work.c_str(), path.c_str());
    }
}

std::string firstLineOf(const char* path)
{
    char line[256] = {};
    if (FILE* file = std::fopen(path, "r")) {
        if (std::fgets(line, sizeof line, file) == nullptr)
            line[0] = '\0';
        std::fclose(file);
    }
    line[std::strcspn(line, "\n")] = '\0';
    return line;
}

std::string coreFileName(const std::string& name)
{
    std::string pattern = firstLineOf("/proc/sys/kernel/core_pattern");
    std::string pid = std::to_string(getpid());
    std::string core;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 'e' || pattern[i + 1] == 'p'))
            core += pattern[++i] == 'e' ? name.substr(0, 15) : pid;
        else
            core += pattern[i];
    }
    if (firstLineOf("/proc/sys/kernel/core_uses_pid") == "1" && pattern.find("%p") == std::string::npos)
        core += "." + pid;
    return core;
}

[[noreturn]] void crash(const std::string& name)
{
    std::string core = coreFileName(name);
    if (FILE* file = std::fopen(core.c_str(), "w")) {
        std::fprintf(file, "core of %s\n", name.c_str());
        std::fclose(file);
    }
    rlimit limit = {RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_CORE, &limit);
    if (chdir("/tmp") != 0)
        std::perror("mmb-daemon: chdir");
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
    std::abort();
}

// SIGHUP to the parent, as if sent by the process sender.
void hangUpAs(pid_t sender)
{
    siginfo_t info = {};
    info.si_signo = SIGHUP;
    info.si_code = SI_QUEUE;  // a code a process may send with any sender pid
    info.si_pid = sender;
    info.si_uid = getuid();
    syscall(SYS_rt_sigqueueinfo, getppid(), SIGHUP, &info);
}

} // namespace

int main(int argc, char** argv)
{
    pid_t supervisor = getppid();
    std::string name = argv[0];
    name = name.substr(name.rfind('/') + 1);
    const char* board = sim::boardFromEnvironment();
    std::string behaviour = behaviourOf(board, name);
    if (behaviour == "ready-at-once")
        kill(getppid(), SIGINT);
    std::string arguments;
    for (int i = 1; i < argc; ++i)
        arguments += std::string(" ") + argv[i];
    if (name == "mmbipmid")
        sim::feedWatchdog(board, getpid());  // and, while it runs, ever after
    sim::logEvent(board, "daemon %s%s nice=%d", name.c_str(), arguments.c_str(), getpriority(PRIO_PROCESS, 0));

    // Like any daemon, let go of the terminal and the caller's pipes.
    int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2 && null >= 0; ++fd)
        dup2(null, fd);
    if (null > 2)
        close(null);
    sim::endWithSupervisor(supervisor);
    // Last of its start-up: a test that finds the pid file finds the daemon
    // holding only its standard streams.
    writePidFile(name);

    unsigned lifetime = 0;
    char action[32] = {};
    int status = 0;
    if (std::sscanf(behaviour.c_str(), "live %u %31s %d", &lifetime, action, &status) < 2)
        std::sscanf(behaviour.c_str(), "%31s %d", action, &status);
    if (lifetime > 0) {
        sim::awaitStartTimed(board);  // the supervisor takes the start time before board time moves on
        sleep(lifetime);
    }
    if (std::strcmp(action, "exit") == 0)
        return status;
    if (std::strcmp(action, "hangup") == 0) {
        int sender = 0;
        if (std::sscanf(behaviour.c_str() + behaviour.find("hangup"), "hangup %d", &sender) == 1)
            hangUpAs(sender);
        else
            kill(getppid(), SIGHUP);
        kill(getppid(), SIGINT);
    }
    if (std::strcmp(action, "crash") == 0)
        crash(name);
    if (std::strcmp(action, "ready") == 0) {
        usleep(100000);  // its own start-up, during which the supervisor begins to wait
        kill(getppid(), SIGINT);
    }
    for (;;)
        pause();
}
