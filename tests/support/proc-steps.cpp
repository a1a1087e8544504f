// Runs process-supervision operations of the start-up library, in the order
// given, in one process on a simulated board, printing what ends them.
// Traces go to /tmp/trace.log on the board.
//   proc-steps table=0,/etc/mmb/init/standing.ctl activate monitor
//   proc-steps standby change-requested orphan activate monitor
//   proc-steps decide enable services activate cause monitor
//   proc-steps enable activate set-pid monitor  (dualprocess's hang-ups heard)
//   proc-steps fail-fork=2 activate activate started   (the second fork from here fails;
//                                                       "started=N": the manager's count)
//   proc-steps fail-nice activate monitor       (every nice fails)
//   proc-steps descriptors activate monitor     (open descriptors now and at the end)
//   proc-steps bootrom activate monitor         (the start-up's bank logic first: /dev/cpld stays open)
//   proc-steps forks-in-turn activate monitor   (children end in the order they were forked)
//   proc-steps ignore-sigchld activate monitor  (started with SIGCHLD ignored)
//   proc-steps standby change-at-wait=3 monitor (a change ordered as the third wait begins)
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBBootROM.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"
#include "InitMMBProcessMGR.h"
#include "InitNetServiceMGR.h"
#include "StepDriver.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int forkFailsIn = 0;  // the fork that fails, counted from 1; 0: none
bool niceFails = false;
bool forksInTurn = false;  // a fork waits until the child forked before it has ended
pid_t lastChild = 0;
int changeAtWait = 0;  // the wait at which a mode change is ordered, counted from 1; 0: none

// As if dualprocess had sent its SIGHUP.
void requestChange()
{
    InitMMBOther* other = InitMMBOther::getInstance();
    other->enableChgModeReq();
    other->chgState = InitMMBOther::CHG_REQUESTED;
}

} // namespace

// This program's own fork and nice stand in for the C library's in the
// library it links, so that a step can make them fail.
extern "C" pid_t fork()
{
    if (forkFailsIn > 0 && --forkFailsIn == 0) {
        errno = EAGAIN;
        return -1;
    }
    static auto* real = reinterpret_cast<pid_t (*)()>(dlsym(RTLD_NEXT, "fork"));
    siginfo_t info;  // left for the library to reap, so it reaps the children in the order of their forks
    while (forksInTurn && lastChild > 0 && waitid(P_PID, lastChild, &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    pid_t child = real();
    lastChild = child > 0 ? child : lastChild;
    return child;
}

// And its wait, so that a step can order a mode change while the library
// waits.
extern "C" pid_t wait(int* status)
{
    if (changeAtWait > 0 && --changeAtWait == 0)
        requestChange();
    static auto* real = reinterpret_cast<pid_t (*)(int*)>(dlsym(RTLD_NEXT, "wait"));
    return real(status);
}

extern "C" int nice(int increment)
{
    if (niceFails) {
        errno = EPERM;
        return -1;
    }
    static auto* real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "nice"));
    return real(increment);
}

namespace {

// A child of this process that is in neither process list, and dies.
void startOrphan()
{
    if (fork() == 0)
        _exit(0);
}

// The count of this process's open descriptors (the listing's own included).
void printDescriptors()
{
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder))
            count += entry->d_name[0] != '.';
        closedir(folder);
    }
    std::printf("descriptors=%d\n", count);
}

bool runStep(InitMMBProcessMGR& manager, const std::string& step)
{
    if (step.rfind("table=", 0) == 0 && step.size() > 8 && step[7] == ',')
        manager.create(step[6] - '0', step.c_str() + 8);
    else if (step == "activate")
        manager.activate();
    else if (step == "monitor")
        manager.startMonitoring();
    else if (step == "bootrom")
        InitMMBBootROM::getInstance()->initialize();
    else if (step == "standby")
        InitMMBFirm::getInstance()->activeMode = 1;
    else if (step == "orphan")
        startOrphan();
    else if (step == "change-requested")
        requestChange();
    else if (step == "set-pid")  // dualprocess's, from the process lists
        InitMMBOther::getInstance()->setPid();
    else if (step == "decide")  // the peer-board logic's first operation
        InitMMBOther::getInstance()->decide(false, 0);
    else if (step == "enable")
        InitMMBOther::getInstance()->enableChgModeReq();
    else if (step == "cause")  // one look for a mode change, as each monitoring pass takes
        InitMMBOther::getInstance()->causeChgExp(false);
    else if (step == "services")  // the services the monitoring loop toggles
        InitNetServiceMGR::getInstance()->initialize();
    else if (step.rfind("fail-fork=", 0) == 0)
        forkFailsIn = std::atoi(step.c_str() + 10);
    else if (step == "fail-nice")
        niceFails = true;
    else if (step == "forks-in-turn")
        forksInTurn = true;
    else if (step.rfind("change-at-wait=", 0) == 0)
        changeAtWait = std::atoi(step.c_str() + 15);
    else if (step == "ignore-sigchld")
        signal(SIGCHLD, SIG_IGN);
    else if (step == "started")
        std::printf("started=%u\n", manager.startedCount);
    else if (step == "descriptors") {
        printDescriptors();
        std::atexit(printDescriptors);
    }
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    InitLocalTrace::getInstance()->fileName = "/tmp/trace.log";
    InitMMBFirm::getInstance()->initialize();
    InitMMBProcessMGR& manager = *InitMMBProcessMGR::getInstance();
    return runSteps("proc-steps", argc, argv, [&manager](const std::string& step) {
        try {
            return runStep(manager, step);
        } catch (const char* order) {  // the monitoring loop's mode change
            std::printf("thrown %s\n", order);
            return true;
        }
    });
}
