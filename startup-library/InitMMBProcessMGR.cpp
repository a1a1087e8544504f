#include "InitMMBProcessMGR.h"

#include "InitBuildProcess.h"
#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"
#include "InitMMBProcess.h"
#include "InitNetServiceMGR.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"
#include "SignalHold.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* PROCESS_TABLE = "/etc/mmb/init/pro_file.ctl";
constexpr const char* EXEC_DIR = "/opt/mmb/bin/";
constexpr const char* IPMI_MODULE = "mmbipmid";
constexpr const char* WEB_SERVICE = "/etc/init.d/lighttpd";
constexpr int START_SIGNAL = SIGINT;  // "mmbipmid" is ready; in the monitoring loop: toggle the web service
constexpr uint8_t PROCESS_REPORTER = 9;
constexpr uint8_t TABLE_REPORTER = 28;
constexpr int CORE_DUMPED = 0x80;

// Monitoring steps recorded in InitMMBFirm while supervising.
constexpr uint8_t STEP_WAITING = 24;
constexpr uint8_t STEP_HANDLING_DEATH = 25;
constexpr uint8_t STARTING_PHASE = 5;

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

uint8_t mmbId()
{
    return InitMMBFirm::getInstance()->mmbId;
}

uint8_t keyOf(const InitMMBProcess& process)
{
    return static_cast<uint8_t>(process.processKey & 0xFF);
}

// A daemon the peer-board logic believes (dupProcPID, dualprocess) stays
// believed when supervision restarts it: its SIGHUP is held from before the
// fork until dupProcPID names the new process, so the new one's first
// mode-change request already counts.
void restartBelieved(InitMMBProcess& process, int deadPid)
{
    if (deadPid != InitMMBOther::dupProcPID) {
        process.restart();
        return;
    }
    SignalHold hold(SIGHUP);
    process.restart();
    InitMMBOther::dupProcPID = process.pid;
}

int32_t nowSeconds()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<int32_t>(now.tv_sec);
}

// Appends up to limit bytes of a /proc source to the buffer.
size_t appendSource(char* buffer, size_t used, size_t size, const char* source, size_t limit)
{
    int fd = open(source, O_RDONLY | O_CLOEXEC);
    // GCOVR_EXCL_BR_START: a host's /proc always has the three sources, with figures
    if (fd < 0)
        return used;
    size_t room = size - used < limit ? size - used : limit;
    ssize_t got = read(fd, buffer + used, room);
    close(fd);
    return got > 0 ? used + static_cast<size_t>(got) : used;
    // GCOVR_EXCL_BR_STOP
}

} // namespace

InitMMBProcessMGR* InitMMBProcessMGR::instance = nullptr;
volatile sig_atomic_t InitMMBProcessMGR::endNotified = 0;
volatile sig_atomic_t InitMMBProcessMGR::itimerNotify = 0;
volatile sig_atomic_t InitMMBProcessMGR::itimerEnable = 0;
volatile sig_atomic_t InitMMBProcessMGR::downPid = 0;
volatile sig_atomic_t InitMMBProcessMGR::waitPid = 0;

InitMMBProcessMGR* InitMMBProcessMGR::getInstance()
{
    if (instance == nullptr)
        instance = new InitMMBProcessMGR();
    return instance;
}

void InitMMBProcessMGR::create(int list, const char* file)
{
    std::vector<InitMMBProcess*>& processes = list == 0 ? standingProcs : activeProcs;
    InitBuildProcess reader(file, EXEC_DIR, processes);
    reader.create();
    if (processes.size() != static_cast<uint32_t>(reader.processCount)) {
        bool tooFew = processes.size() < static_cast<uint32_t>(reader.processCount);
        trace()->output(20010, 0, "InitMMBProcessMGR::create",
                        tooFew ? "process count is too big." : "process count is too small.");
        throw new InitErrorLog(1, mmbId(), TABLE_REPORTER, 4, 0, 0, 0, 0);
    }
    (list == 0 ? standingCreated : activeCreated) = true;
    for (InitMMBProcess* process : processes) {
        // A daemon may signal before its start wait opens: its signal waits,
        // blocked, for the wait's handler.
        SignalHold hold(START_SIGNAL);
        int result = process->create();
        if (result < 1) {
            trace()->output(20011, 0, "InitMMBProcessMGR::create:", result);
            throw new InitErrorLog(1, mmbId(), PROCESS_REPORTER, keyOf(*process), 1, 0, 0, 0);
        }
        ++startedCount;
        if (process->waitSignal != 0)
            startWait();
    }
}

// Holds the start-up back until "mmbipmid" signals readiness.
void InitMMBProcessMGR::startWait()
{
    InitMMBProcess* ipmi = findByName(IPMI_MODULE);
    if (ipmi == nullptr)
        return;
    trace()->outputf(20001, 1, "wait signal(SIGINT) from mmbipmid(%d)", ipmi->pid);
    waitMMBProcess(ipmi->pid, START_SIGNAL);
    if (endNotified) {
        trace()->output(20002, 1, "wait signal(SIGINT) from mmbipmid");
        return;
    }
    if (itimerNotify)
        trace()->output(20003, 0, "InitMMBProcessMGR::timeout is detected, starting ipmi");
    else if (downPid != 0)  // GCOVR_EXCL_BR_LINE: the wait ends only by the signal, the timer or a death
        trace()->outputf(20032, 0, "InitMMBProcessMGR::Process(%d) down", static_cast<int>(downPid));
    else
        trace()->output(20003, 0, "InitMMBProcessMGR::starting ipmi");  // GCOVR_EXCL_LINE: as above
    throw new InitErrorLog(1, mmbId(), PROCESS_REPORTER, keyOf(*ipmi), 1, 0xFF, 0xFF,
                           static_cast<unsigned char>(itimerNotify ? 1 : 0));
}

void InitMMBProcessMGR::activate()
{
    if (!activeCreated) {
        for (InitMMBProcess* process : activeProcs)
            delete process;  // GCOVR_EXCL_BR_LINE: delete's test for null; the lists never hold one
        activeProcs.clear();
        create(1, PROCESS_TABLE);
        return;
    }
    for (InitMMBProcess* process : activeProcs)
        process->activate();
}

void InitMMBProcessMGR::inactivate()
{
    for (InitMMBProcess* process : activeProcs)
        process->inactivate();
}

void InitMMBProcessMGR::startMonitoring()
{
    InitMMBFirm* firm = InitMMBFirm::getInstance();
    firm->startPhase = STARTING_PHASE;
    endNotified = 0;
    signal(START_SIGNAL, SIG_IGN);  // from here on the start signal never ends the program
    signal(SIGCHLD, SIG_DFL);
    InitMMBOther* other = InitMMBOther::getInstance();
    other->checkdualprocess();
    other->checkDualOnIdle = false;
    for (;;) {
        firm->monitorStep = STEP_WAITING;
        setInterval(MONITOR_INTERVAL);
        int status = 0;
        pid_t dead = monitorWait(status);
        if (dead > 0 && (checkProcDown(standingProcs, dead, status) != 0 || checkProcDown(activeProcs, dead, status) != 0))
            continue;
        other->causeChgExp(false);
        if (endNotified) {
            endNotified = 0;
            InitNetServiceMGR::getInstance()->toggleStatus(WEB_SERVICE);
        }
    }
}

InitMMBProcess* InitMMBProcessMGR::findByName(const char* name)
{
    for (std::vector<InitMMBProcess*>* list : {&standingProcs, &activeProcs})
        for (InitMMBProcess* process : *list)
            if (strcmp(process->name, name) == 0)
                return process;
    return nullptr;
}

InitMMBProcess* InitMMBProcessMGR::findByPid(std::vector<InitMMBProcess*>& list, int pid)
{
    for (InitMMBProcess* process : list)
        if (process->pid == pid)
            return process;
    return nullptr;
}

int InitMMBProcessMGR::checkProcDown(std::vector<InitMMBProcess*>& list, int pid, int status)
{
    InitMMBProcess* process = findByPid(list, pid);
    if (process == nullptr)
        return 0;
    // Reused for every death without clearing: the whole area is written each time.
    static char downlog[DOWN_INFO_SIZE];
    int length = snprintf(downlog, sizeof downlog, "process(%s:%d) down with status(%04x)", process->name, pid,
                          static_cast<unsigned>(status));
    trace()->output(20032, 0, downlog);
    InitMMBFirm::getInstance()->monitorStep = STEP_HANDLING_DEATH;
    process->downTime = nowSeconds();
    writeDownInfo(downlog, length > 0 ? static_cast<size_t>(length) : 0, process->downTime);
    keepBacktrace(*process, process->downTime);
    if ((status & CORE_DUMPED) != 0)
        process->getCoredump();
    if (process->judgeRestart() != 0) {
        restartBelieved(*process, pid);
        return 1;
    }
    rebootFor(*process, status);
}

// The down-info file: the death's line, then the system's load, open files
// and memory at that moment; always the whole 2048-byte area.
void InitMMBProcessMGR::writeDownInfo(char* downlog, size_t used, int32_t when)
{
    static char initlogfile[64];
    downlog[used++] = '\n';
    used = appendSource(downlog, used, DOWN_INFO_SIZE, "/proc/loadavg", 32);
    used = appendSource(downlog, used, DOWN_INFO_SIZE, "/proc/sys/fs/file-nr", 32);
    appendSource(downlog, used, DOWN_INFO_SIZE, "/proc/meminfo", 1000);
    snprintf(initlogfile, sizeof initlogfile, "/var/mmb/core/core_save/init_downinfo.%u", static_cast<uint32_t>(when));
    int fd = InitMMBFile::openTraced(initlogfile, O_RDWR | O_CREAT, 0640);
    if (fd < 0)
        return;
    // Silent, as every failure in collecting down information; a full
    // folder leaves no empty file behind.
    bool written = pwrite(fd, downlog, DOWN_INFO_SIZE, 0) == DOWN_INFO_SIZE;
    if (written)
        InitMMBFile::syncToStorage(fd, initlogfile);
    close(fd);
    if (!written)
        unlink(initlogfile);
}

void InitMMBProcessMGR::keepBacktrace(const InitMMBProcess& process, int32_t when)
{
    char segfault[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath("/var/mmb/core/segfault.txt", segfault);
    if (!InitMMBFile::isFileExist(segfault))
        return;
    char kept[InitMMBFile::PATH_SIZE + 48];  // room for the longest name and time
    snprintf(kept, sizeof kept, "/var/mmb/core/core_save/bt.%s.%u", process.name, static_cast<uint32_t>(when));
    execCommandNoDown("%s -f %s %s", "/bin/cp", segfault, kept);
    // cp does not sync: a power cut right after a crash would lose the backtrace.
    InitMMBFile::syncToStorage(kept);
    execCommandNoDown("%s -f %s", "/bin/rm", segfault);
}

void InitMMBProcessMGR::rebootFor(InitMMBProcess& process, int status)
{
    trace()->outputf(20001, 0, "reboot[%d] by %s down", process.judgeResult, process.name);
    auto exitCode = static_cast<unsigned char>((status >> 8) & 0xFF);
    auto signalAndCore = static_cast<unsigned char>(status & 0xFF);
    if (strcmp(process.name, IPMI_MODULE) == 0)
        throw new InitErrorLog(1, mmbId(), PROCESS_REPORTER, keyOf(process), 2, exitCode, signalAndCore, 0);
    InitMMBFirm::getInstance()->setWarning(
        new InitErrorLog(1, mmbId(), PROCESS_REPORTER, keyOf(process), 2, exitCode, signalAndCore, 0));
    throw new InitErrorLog(3, mmbId(), PROCESS_REPORTER, keyOf(process), 2, exitCode, signalAndCore, 0);
}

// The start signal is caught only while the loop waits, so that a daemon
// the pass restarts inherits it ignored, as after a start wait.
pid_t InitMMBProcessMGR::monitorWait(int& status)
{
    catchSignal(START_SIGNAL);
    // A timer or start signal that came before the wait ends it at once, as
    // it would have interrupted it. One whose handler runs after this test
    // but before wait() enters the kernel is seen only at the next signal or
    // death: no call waits for a child and takes a signal mask at once, so
    // these few instructions stay a window (README: Signals of the start-up
    // library).
    pid_t dead = endNotified || itimerNotify ? -1 : wait(&status);
    signal(START_SIGNAL, SIG_IGN);
    return dead;
}

void InitMMBProcessMGR::setInterval(long seconds)
{
    if (itimerEnable)
        return;
    // Disarmed first, an abandoned timer can neither count as this one nor
    // take the handler away (reset on delivery) before this one expires.
    itimerval timer = {};
    setitimer(ITIMER_REAL, &timer, nullptr);
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // no SA_RESTART: the timer ends a blocked wait
    action.sa_handler = itimerSigHandler;
    sigaction(SIGALRM, &action, nullptr);
    // Before arming: an expiry that comes at once must find them set.
    itimerNotify = 0;
    itimerEnable = 1;
    timer.it_value.tv_sec = seconds;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void InitMMBProcessMGR::waitMMBProcess(int pid, int sig)
{
    openMMBProcessReq(pid, sig);
    downPid = 0;
    // A handler that runs between this test and the entry into wait() leaves
    // the wait blocked until the next signal or death (see monitorWait).
    while (!endNotified && !itimerNotify) {
        pid_t reaped = wait(nullptr);
        if (reaped > 0) {
            downPid = reaped;
            break;
        }
    }
    itimerEnable = 0;
    closeMMBProcessReq(pid, sig);
}

void InitMMBProcessMGR::openMMBProcessReq(int pid, int sig)
{
    endNotified = 0;  // before the handler goes in: a signal it catches stays counted
    waitPid = pid;
    catchSignal(sig);
    SignalHold::release();  // a signal held since the fork is delivered now, into the handler
    setInterval(START_WAIT);
}

void InitMMBProcessMGR::catchSignal(int sig)
{
    trace();  // the handler traces: its singletons exist before it can run
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    action.sa_sigaction = waitSigHandler;
    sigaction(sig, &action, nullptr);
}

void InitMMBProcessMGR::closeMMBProcessReq(int, int sig)
{
    signal(sig, SIG_IGN);
    waitPid = 0;
}

void InitMMBProcessMGR::itimerSigHandler(int)
{
    if (itimerEnable)
        itimerNotify = 1;
    itimerEnable = 0;
}

void InitMMBProcessMGR::waitSigHandler(int sig, siginfo_t* info, void*)
{
    int savedErrno = errno;
    // One catch per installation: the monitoring loop toggles once for each
    // signal caught, and a second signal meets "ignore", never the default.
    signal(sig, SIG_IGN);
    trace()->outputf(20001, 1, "waitSigHandler %d %d", sig, static_cast<int>(info->si_pid));
    endNotified = 1;
    errno = savedErrno;
}
