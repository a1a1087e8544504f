#include "StartupProgram.h"

#include "CoverageFlush.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "InitMMBProcessMGR.h"
#include "InitTraceHandler.h"
#include "NvramLayout.h"
#include "ShellCommand.h"

#include <cerrno>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int KIND_FATAL = 3;
constexpr unsigned char PROCESS_LIMITS = 0x1C;  // reporter: process table and manager limits

InitTraceHandler& trace()
{
    return *InitTraceHandler::getInstance();
}

// True when /sbin/reboot was accepted: the board is going down.
bool askedInitToReboot()
{
    for (int attempt = 1; attempt <= REBOOT_ATTEMPTS; ++attempt) {
        int status = execCommand_retExitCode("%s", "/sbin/reboot");
        if (status == 0)
            return true;
        trace().output(20011, 0, "rebootBoard:/sbin/reboot", status);
        if (attempt < REBOOT_ATTEMPTS)
            sleep(REBOOT_RETRY_PAUSE);
    }
    return false;
}

// True while a child is left for the monitoring loop's wait; it reaps none.
bool childLeft()
{
    siginfo_t info = {};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

[[noreturn]] void waitForGood()
{
    trace().output(20002, 0, "superviseForever:no child left to supervise, waiting");
    flushCoverage();  // nothing but a signal that kills ends the wait
    for (;;)
        pause();
}

} // namespace

void requireDaemons()
{
    InitMMBProcessMGR& processes = *InitMMBProcessMGR::getInstance();
    if (!processes.standingProcs.empty() || !processes.activeProcs.empty())
        return;
    trace().output(20010, 0, "requireDaemons", "no daemon to supervise.");
    throw new InitErrorLog(KIND_FATAL, InitMMBFirm::getInstance()->mmbId, PROCESS_LIMITS, 0, 0, 0, 0, 0);
}

void rebootBoard()
{
    if (askedInitToReboot()) {
        trace().output(20002, 0, "rebootBoard:waiting for the board to go down");
        sleep(REBOOT_GRACE);
    }
    trace().output(20002, 0, "rebootBoard:sync and reboot(2)");
    sync();
    flushCoverage();  // a reboot that works ends the process here
    reboot(RB_AUTOBOOT);
    trace().output(20011, 0, "rebootBoard:reboot(2)", errno);
    trace().output(20002, 0, "rebootBoard:reboot failed, supervision goes on");
}

void rebootForRecord(InitErrorLog* record)
{
    InitMMBFirm& firm = *InitMMBFirm::getInstance();
    if (firm.header.firmUpMode == nvram::FIRMUP_APPLY)
        firm.setFirmUpRecovery();
    firm.setDownLog(record);
    InitMMBHistory::keepTrace();  // the trace of why goes with the board
    rebootBoard();
}

void superviseForever(void (*carryOut)(const char* order))
{
    InitMMBProcessMGR& processes = *InitMMBProcessMGR::getInstance();
    for (;;) {
        if (!childLeft())
            waitForGood();
        try {
            try {
                processes.startMonitoring();
            } catch (const char* order) {
                carryOut(order);
            }
        } catch (InitErrorLog* record) {
            rebootForRecord(record);
        }
    }
}
