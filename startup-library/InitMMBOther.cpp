#include "InitMMBOther.h"

#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBProcess.h"
#include "InitMMBProcessMGR.h"
#include "InitTraceHandler.h"

#include "MMBLib.h"
#include "libdual.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Bits of the libdual words.
constexpr unsigned long ACTIVE = 0x40000000;          // result word, own status: Active
constexpr unsigned long STATUS_REQUEST_5 = 0x80000000;
constexpr unsigned long STATUS_BIT9 = 0x00000200;
constexpr unsigned long STATUS_TO_ACTIVE = 0x00000100;
constexpr unsigned long STATUS_FORCED = 0x00000078;
constexpr unsigned long STATUS_REQUEST_2 = 0x00000004;

constexpr int MODE_ACTIVE = 0;
constexpr int MODE_STANDBY = 1;
constexpr MMBLib::ii2c::BOARD_INSTALL_BIT OTHER_MMB_BIT = 25;

constexpr const char* DUALPROCESS_PID_FILE = "/var/run/dualprocess.pid";
constexpr const char* START_UP_LOG = "/tmp/mmbinit.log";
constexpr int PID_TEXT_SIZE = 8;
constexpr int SWITCH_CHECKS = 59;  // one a second, then one more second without a check

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

int modeOf(unsigned long word)
{
    return (word & ACTIVE) != 0 ? MODE_ACTIVE : MODE_STANDBY;
}

const char* modeName(unsigned long word)
{
    return (word & ACTIVE) != 0 ? "Active" : "Standby";
}

bool boardIsActive()
{
    return InitMMBFirm::getInstance()->activeMode == 0;
}

// The pid a pid file holds: decimal digits, at most a newline after them;
// 0 for anything else.
pid_t pidIn(const char* text, size_t length)
{
    size_t digits = strspn(text, "0123456789");
    bool strict = digits > 0 && (digits == length || (digits + 1 == length && text[digits] == '\n'));
    return strict ? static_cast<pid_t>(strtol(text, nullptr, 10)) : 0;
}

// Keeps the start-up log for the post-mortem (the copy's outcome changes
// nothing) and throws. The log is the copy's source: never made here, and
// copied only when it is a regular file of ours, never through a link or
// FIFO planted in its place.
[[noreturn]] void reportDualprocessDown()
{
    trace()->output(20002, 0, "InitMMBOther::checkdualprocess throw");
    int log = InitMMBFile::openTraced(START_UP_LOG, O_RDONLY, 0);
    if (log >= 0) {
        close(log);
        system("/bin/cp /tmp/mmbinit.log /mnt/dump/dualdown_reboot.log");
    }
    throw new InitErrorLog(3, InitMMBFirm::getInstance()->mmbId, 9, 0, 0, 0, 0, 0);
}

} // namespace

const char* InitMMBOther::MODE_CHG_ACTIVATE = "ACTIVATE";
const char* InitMMBOther::MODE_CHG_INACTIVATE = "INACTIVATE";
InitMMBOther* InitMMBOther::instance = nullptr;
volatile sig_atomic_t InitMMBOther::enableChgReq = 0;
volatile sig_atomic_t InitMMBOther::sigPid = 0;
int32_t InitMMBOther::dupProcPID = 0;

InitMMBOther* InitMMBOther::getInstance()
{
    if (instance == nullptr)
        instance = new InitMMBOther();
    return instance;
}

// dualprocess may hang up before change requests are enabled: from the
// first operation on, a SIGHUP must not end the program.
InitMMBOther::InitMMBOther()
{
    signal(SIGHUP, SIG_IGN);
}

int InitMMBOther::decide(bool initArg1, int initArg2)
{
    unsigned long result = dual_get_initActive(initArg1, static_cast<unsigned long>(initArg2));
    mmbMode = modeOf(result);
    unsigned long own = ACTIVE;
    unsigned long other = 0;
    int rc = dual_get_status(&own, &other);
    trace()->outputf(20002, 0, "Other MMB status read(%8.8x)", static_cast<unsigned>(other));
    otherInstalled = checkOtherInstall();
    const char* name = "Active";
    if (rc < 0 && otherInstalled == 0) {
        statusBit9 = false;
    } else {
        statusBit9 = (own & STATUS_BIT9) != 0;
        name = modeName(result);
    }
    trace()->outputf(20002, 0, "Decision of Provisional MMB mode(%s:%s) error(%d)", name,
                     otherInstalled != 0 ? "Duplicate" : "Single", rc);
    return mmbMode;
}

int InitMMBOther::open(char* arg1, char* arg2, char* arg3)
{
    if (opened)
        return mmbMode;
    unsigned long result = dual_get_Active(arg1, arg2, arg3);
    mmbMode = modeOf(result);
    unsigned long own = ACTIVE;
    unsigned long other = 0;
    int rc = dual_get_status(&own, &other);
    trace()->outputf(20002, 0, "MMB status read(s=%8.8x o=%8.8x)", static_cast<unsigned>(own),
                     static_cast<unsigned>(other));
    otherInstalled = checkOtherInstall();
    if (rc < 0 && otherInstalled == 0) {
        statusBit9 = false;
        result = ACTIVE;  // a single board whose status cannot be read is traced as Active
    } else {
        statusBit9 = (own & STATUS_BIT9) != 0;
    }
    trace()->outputf(20002, 0, "Decision of MMB mode(%8.8x %s:%s) error(%d)", static_cast<unsigned>(result),
                     modeName(result),
                     otherInstalled != 0 ? "Duplicate" : "Single", rc);
    opened = true;
    if (mmbMode != InitMMBFirm::getInstance()->activeMode) {
        trace()->outputf(20001, 0, "Change MMB Mode(%s)", modeName(result));
        causeChgExp(true);
    }
    return mmbMode;
}

int InitMMBOther::checkOtherInstall()
{
    try {
        MMBLib::ii2c::MMB* board = MMBLib::ii2c::MMB::getInstance(0);
        return board->checkBoardInstall(OTHER_MMB_BIT, board->getBoardInstall());
    } catch (...) {
        return 0;
    }
}

int InitMMBOther::isChangeModeReq()
{
    if (chgState != CHG_REQUESTED || !enableChgReq)
        return 0;
    unsigned long own = 0;
    unsigned long other = 0;
    dual_get_status(&own, &other);
    bool active = boardIsActive();
    const char* to = nullptr;
    // The order of the tests decides; two of them lead to Active.
    // NOLINTNEXTLINE(bugprone-branch-clone)
    if ((own & STATUS_TO_ACTIVE) != 0 && !active) {
        to = "Active";
    } else if ((own & STATUS_REQUEST_2) != 0 && active) {
        to = (own & STATUS_TO_ACTIVE) != 0 ? "Active" : "Standby";
    } else if ((own & STATUS_FORCED) != 0) {
        forcedChange = true;
        return 1;
    } else if ((own & ACTIVE) != 0 && !active) {
        to = "Active";
    } else if ((own & STATUS_REQUEST_5) != 0 && active) {
        to = modeName(own);
    } else {
        return 0;
    }
    trace()->outputf(20001, 1, "Change MMB Mode(to %s)", to);
    return 1;
}

void InitMMBOther::advanceChgState()
{
    chgState = chgState + 1 > CHG_SEEN ? CHG_IDLE : chgState + 1;
}

int InitMMBOther::causeChgExp(bool force)
{
    if (isChangeModeReq() == 0 && !force)
        return checkDualOnIdle ? checkdualprocess() : 0;
    advanceChgState();
    if (boardIsActive()) {
        trace()->output(20001, 0, "changing MMB Mode from Active to Standby ");
        throw MODE_CHG_INACTIVATE;
    }
    trace()->output(20001, 0, "changing MMB Mode from Standby to Active");
    throw MODE_CHG_ACTIVATE;
}

int InitMMBOther::checkdualprocess()
{
    trace()->output(20001, 0, "InitMMBProcessMGR::checkdualprocess");
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(DUALPROCESS_PID_FILE, path);
    if (!InitMMBFile::isFileExist(path))
        return 0;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        trace()->outputf(20003, 0, "open(%s) failed errno=%d", path, errno);
        return 1;
    }
    char text[PID_TEXT_SIZE + 1] = {};
    ssize_t got = read(fd, text, PID_TEXT_SIZE);
    if (got < 0) {
        trace()->outputf(20003, 0, "read(%s) failed errno=%d", path, errno);
        ::close(fd);
        return 1;
    }
    ::close(fd);
    // dualprocess makes its pid file before it writes its pid into it: an
    // empty file is a dualprocess still starting.
    if (got > 0) {
        pid_t pid = pidIn(text, static_cast<size_t>(got));
        if (pid <= 1) {  // 0, -1 and 1 would probe a whole group or init
            trace()->outputf(20003, 0, "read(%s) failed errno=%d", path, EINVAL);
            return 1;
        }
        if (kill(pid, 0) != 0)
            reportDualprocessDown();
    }
    trace()->output(20002, 0, "InitMMBProcessMGR::checkdualprocess OK");
    return 0;
}

void InitMMBOther::setPid()
{
    if (InitMMBProcess* dualprocess = InitMMBProcessMGR::getInstance()->findByName("dualprocess"))
        dupProcPID = dualprocess->pid;
}

void InitMMBOther::enableChgModeReq()
{
    if (enableChgReq)
        return;
    trace();  // the handler traces: its singletons exist before it can run
    chgState = CHG_IDLE;
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;  // no SA_RESTART: a change request ends a blocking wait
    action.sa_sigaction = modeChange_sighandler;
    sigaction(SIGHUP, &action, nullptr);
    enableChgReq = 1;
}

void InitMMBOther::disableChgModeReq()
{
    signal(SIGHUP, SIG_IGN);
    chgState = CHG_IDLE;
    enableChgReq = 0;
}

void InitMMBOther::modeChange_sighandler(int sig, siginfo_t* info, void*)
{
    int savedErrno = errno;
    InitMMBOther* self = getInstance();
    sigPid = info->si_pid;
    // Pid 0 is no process (a terminal hang-up, say), also while dupProcPID is still 0.
    if (sigPid != 0 && sigPid == dupProcPID && (self->chgState == CHG_IDLE || self->chgState == CHG_ORDERED))
        self->chgState = self->chgState + 1;
    trace()->outputf(20001, 1, "modeChange_sighandler(%s) %d %d : %d %d", enableChgReq ? "enable" : "disable", sig,
                     static_cast<int>(sigPid), dupProcPID, static_cast<int>(self->chgState));
    errno = savedErrno;
}

void InitMMBOther::waitSwitchComp()
{
    for (int check = 0; check <= SWITCH_CHECKS; ++check) {
        if (check > 0)
            sleep(1);
        if (chgState == CHG_SWITCHED) {
            chgState = CHG_SEEN;
            return;
        }
    }
    sleep(1);
    advanceChgState();
}
