#include "InitMMBProcess.h"

#include "BoardRegisters.h"
#include "CoverageFlush.h"
#include "CpldAccess.h"
#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"
#include "InitMMBStorage.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"
#include "SignalHold.h"

#include "board_devices.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int EXIT_NICE_FAILED = 10;
constexpr int EXIT_EXEC_FAILED = 11;
constexpr uint8_t PROCESS_REPORTER = 9;
constexpr uint16_t WATCHDOG_STOPPED = 0x800F;  // control word written when mmbipmid dies
constexpr const char* IPMI_MODULE = "mmbipmid";

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

// A start-up failure as the manager's catcher expects it.
[[noreturn]] void throwStartFailure(uint32_t processKey)
{
    throw new InitErrorLog(1, InitMMBFirm::getInstance()->mmbId, PROCESS_REPORTER,
                           static_cast<unsigned char>(processKey & 0xFF), 1, 0, 0, 0);
}

void stopWatchdog()
{
    trace()->output(20002, 0, "mmbipmid down, watchdog stop");
    int fd = open(CPLD_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        trace()->output(20011, 0, "can't open CPLD", errno);
        return;
    }
    if (cpldWrite(fd, reg::WDT_CONTROL, WATCHDOG_STOPPED) != 0)
        trace()->output(20003, 0, "can't write CPLD", errno);
    close(fd);
}

// The seconds from one 32-bit time stamp to a later one, also when the
// clock passed 2038-01-19 03:14:08 in between and the later one reads negative.
int32_t secondsBetween(int32_t earlier, int32_t later)
{
    return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}

} // namespace

InitMMBProcess::InitMMBProcess(const char* execDir)
{
    snprintf(execPath, sizeof execPath, "%s", execDir);
    name[0] = '\0';
}

void InitMMBProcess::initialize(const char* moduleName, long downOp, long niceness, unsigned long key, long wait)
{
    size_t directory = strlen(execPath);
    size_t length = strlen(moduleName);
    if (directory + length < sizeof execPath) {
        memcpy(name, moduleName, length + 1);
        memcpy(execPath + directory, moduleName, length + 1);
    } else {
        name[0] = '\0';  // the executable path would not fit: never start it
    }
    downOperation = static_cast<int32_t>(downOp);
    priority = static_cast<int32_t>(niceness);
    processKey = static_cast<uint32_t>(key);
    waitSignal = static_cast<int32_t>(wait);
}

int InitMMBProcess::create()
{
    if (name[0] == '\0')
        return 0;
    InitMMBFirm* firm = InitMMBFirm::getInstance();
    // Built before the fork: the child only execs.
    const char* acOn = firm->bootCause == InitMMBFirm::AC_ON ? "1" : "0";
    const char* activeBoard = firm->activeMode == 0 ? "1" : "0";
    const char* secondBoard = firm->mmbId != 0 ? "1" : "0";
    trace()->output(20001, 1, name);
    trace()->outputf(20001, 1, "%s:%s:%s:%s:%s", execPath, name, acOn, activeBoard, secondBoard);
    pid_t child = fork();
    if (child == 0) {
        errno = 0;
        if (nice(priority) == -1 && errno != 0) {
            trace()->output(20011, 0, "execMmbProc:nice", errno);
            flushCoverage();
            _exit(EXIT_NICE_FAILED);
        }
        signal(SIGCHLD, SIG_DFL);
        SignalHold::release();  // the daemon gets the program's own mask, not the manager's hold
        flushCoverage();
        execl(execPath, name, acOn, activeBoard, secondBoard, static_cast<char*>(nullptr));
        trace()->output(20011, 0, "execMmbProc:execl", errno);
        flushCoverage();
        _exit(EXIT_EXEC_FAILED);
    }
    if (child > 0) {
        pid = child;
        timeval now;
        gettimeofday(&now, nullptr);
        startTime = static_cast<int32_t>(now.tv_sec);
    }
    trace()->output(20002, 1, name);
    active = true;
    return child;
}

void InitMMBProcess::activate()
{
    if (active)
        return;
    int result = create();
    if (result > 0)
        return;
    InitMMBFirm::getInstance()->monitorStep = 26;
    trace()->output(20011, 0, "InitMMBProcess:execMmbProc:fork", result);
    throwStartFailure(processKey);
}

void InitMMBProcess::inactivate() {}

void InitMMBProcess::restart()
{
    trace()->output(20001, 1, "Restart Daemon");
    ++restartCount;
    trace()->outputf(20003, 0, "%s Deamon", name);
    if (create() > 0) {
        trace()->output(20002, 1, "Restart Daemon");
        return;
    }
    InitMMBFirm::getInstance()->monitorStep = 25;
    trace()->outputf(20001, 0, "reboot[1] by %s down", name);
    throwStartFailure(processKey);
}

int InitMMBProcess::judgeRestart()
{
    judgeResult = NOT_RESTARTABLE;
    if (downOperation == 1) {
        if (secondsBetween(startTime, downTime) > MIN_LIFETIME)
            judgeResult = restartCount >= MAX_RESTARTS ? LIMIT_REACHED : RESTART;
        else
            judgeResult = DIED_EARLY;
    }
    return judgeResult == RESTART ? 1 : 0;
}

int InitMMBProcess::getCoredump()
{
    if (strcmp(name, IPMI_MODULE) == 0)
        stopWatchdog();
    char coreDir[InitMMBFile::PATH_SIZE];
    char work[InitMMBFile::PATH_SIZE];
    char packed[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath("/var/mmb/core", coreDir);
    InitMMBFile::makePath("/var/mmb/core/core_work", work);
    InitMMBFile::makePath("/var/mmb/core/core_work.gz", packed);
    execCommandNoDown("%s -f %s", "/bin/rm", work);
    // The move names one file only when the pattern matches one.
    InitMMBStorage::holdOtherCores(coreDir, name);
    execCommandNoDown("%s -f %s/core.%s* %s", "/bin/mv", coreDir, name, work);
    InitMMBStorage::returnHeldCores(coreDir);
    if (!InitMMBFile::isFileExist(work)) {
        trace()->output(20002, 0, "Save coredump(coredump is none)");
        return 1;
    }
    execCommandNoDown("%s -9 -f %s", "/bin/gzip", work);
    char dump[PATH_SIZE + 32];  // a name too long for a path gives an empty one below
    char destination[InitMMBFile::PATH_SIZE];
    snprintf(dump, sizeof dump, "/mnt/dump/core.%s.gz", name);
    InitMMBFile::makePath(dump, destination);
    execCommandNoDown("%s -f %s %s", "/bin/mv", packed, destination);
    return 0;
}
