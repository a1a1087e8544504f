#ifndef INIT_MMB_OTHER_H
#define INIT_MMB_OTHER_H

#include "InitMMBFirm.h"

#include <csignal>
#include <cstdint>

/// The other MMB of a redundant pair: this board's Active/Standby decision,
/// the mode-change sequence that dualprocess drives with SIGHUP, the
/// liveness of dualprocess, and the messages and files exchanged with it and
/// with the other board.
class InitMMBOther {
public:
    static const char* MODE_CHG_ACTIVATE;    ///< thrown to order a change to Active
    static const char* MODE_CHG_INACTIVATE;  ///< thrown to order a change to Standby

    /// States of the change sequence (chgState).
    enum ChangeState {
        CHG_IDLE = 0,       ///< no request
        CHG_REQUESTED = 1,  ///< dualprocess sent SIGHUP
        CHG_ORDERED = 2,    ///< causeChgExp threw the order
        CHG_SWITCHED = 3,   ///< dualprocess sent its second SIGHUP
        CHG_SEEN = 4,       ///< waitSwitchComp saw it
    };

    /// The single object, created on the first call and never destroyed.
    static InitMMBOther* getInstance();

    InitMMBOther(const InitMMBOther&) = delete;
    InitMMBOther& operator=(const InitMMBOther&) = delete;

    /// The provisional decision: asks libdual (dual_get_initActive, with the
    /// arguments unchanged) whether this board starts Active, reads the status
    /// words and whether the other board is installed, and traces the result.
    /// May be called any number of times. Throws nothing.
    /// @return 0 Active or 1 Standby, for InitMMBFirm::setActiveMode().
    int decide(bool initArg1, int initArg2);
    /// The final decision, made once (later calls return it at once): asks
    /// libdual (dual_get_Active, with the arguments unchanged).
    /// @return 0 Active or 1 Standby when that is the mode the board was
    /// brought up in (InitMMBFirm::activeMode).
    /// @throw const char* MODE_CHG_ACTIVATE or MODE_CHG_INACTIVATE when the
    /// decided mode differs; compare the pointer, not the text.
    int open(char* arg1, char* arg2, char* arg3);
    /// @return non-zero when the board library reports the other MMB installed;
    /// 0 when it does not or throws.
    int checkOtherInstall();
    /// @return 1 when a change request from dualprocess (chgState
    /// CHG_REQUESTED, requests enabled) is to be carried out, by the own status
    /// word; otherwise 0.
    int isChangeModeReq();
    /// Orders a due mode change, or any change when force is true, by throwing;
    /// the process manager's monitoring loop calls it on every pass.
    /// @return 0, or checkdualprocess()'s result when checkDualOnIdle is set
    /// and no change is due.
    /// @throw const char* MODE_CHG_INACTIVATE on an Active board,
    /// MODE_CHG_ACTIVATE on a Standby one (chgState has moved on).
    /// @throw InitErrorLog* from checkdualprocess().
    int causeChgExp(bool force);
    /// Checks that dualprocess (/var/run/dualprocess.pid) is alive.
    /// @return 0 alive or no pid file; 1 the pid file could not be read.
    /// @throw InitErrorLog* (new, the catcher deletes it) when it is gone,
    /// after copying /tmp/mmbinit.log to /mnt/dump/dualdown_reboot.log.
    int checkdualprocess();
    /// Takes the pid of "dualprocess" from the process manager's lists, the
    /// only sender whose SIGHUP counts. Call it after the list holding
    /// dualprocess has been started; when supervision restarts dualprocess,
    /// the process manager puts the new pid in dupProcPID itself.
    void setPid();
    /// Installs the SIGHUP handler: from now on dualprocess's SIGHUP starts and
    /// advances a mode change. Call setPid() first.
    void enableChgModeReq();
    /// Ignores SIGHUP again and drops any change in progress.
    void disableChgModeReq();
    /// The SIGHUP handler: advances chgState when dualprocess sent it.
    static void modeChange_sighandler(int sig, siginfo_t* info, void* context);
    /// Waits up to 60 seconds for dualprocess's switch signal (chgState
    /// CHG_SWITCHED) during a mode change. Call it after the services have been
    /// restarted in the new mode, before sendChangeCompResp().
    void waitSwitchComp();

    /// Tells dualprocess that this board's start-up is complete (IPC 0x80020021).
    /// A failed request is traced, not thrown.
    void sendReady();
    /// Sends dualprocess the change-start response (IPC 0x80020031); the
    /// service manager calls it when its activating flag is set.
    void sendActiveEnd();
    /// Sends dualprocess the change-complete response (IPC 0x80020041) and ends
    /// the change sequence.
    void sendChangeCompResp();
    /// Sends dualprocess one IPC request with the code; failures are traced.
    void execIPCSend(unsigned long code);
    /// Fetches a file from the other board through libdual, synchronously
    /// (retried for timeout seconds) or asynchronously (polled for it).
    /// @return the fetch result, or -1 when the other board is in error.
    /// @throw InitErrorLog* (new, the catcher deletes it) when the file did
    /// not arrive from a healthy board.
    int receiveFile(const char* path, int timeout, bool sync);
    /// Copies a file to the other board through libdual; a failure is traced.
    void sendFile(const char* path);
    /// Fetches the other board's start-up record (/tmp/initlog).
    /// @return a new record the caller deletes; all zero when none arrived.
    struct InitMMBFirm::initError* getErrorLog();
    /// Stores the record as /tmp/initlog for the other board to fetch.
    void putErrorLog(struct InitMMBFirm::initError& record);
    /// Does nothing; kept for programs that call it.
    void close();
    /// Does nothing; kept for programs that call it.
    void sendStatus();
    /// Does nothing; kept for programs that call it.
    void startFUP();

    int32_t mmbMode = 0;          ///< 0 Active, 1 Standby, by the last decision
    int32_t otherInstalled = 0;   ///< non-zero: the other board is installed
    bool opened = false;          ///< the final decision is made
    bool forcedChange = false;    ///< a request was accepted for the own status bits 0x78
    bool statusBit9 = false;      ///< bit 0x200 of the own status word at the last decision
    volatile sig_atomic_t chgState = CHG_IDLE;  ///< written by the SIGHUP handler too
    bool checkDualOnIdle = true;  ///< causeChgExp checks dualprocess when no change is due

    /// The single object, or null before the first getInstance().
    static InitMMBOther* instance;
    static volatile sig_atomic_t enableChgReq;  ///< the SIGHUP handler is installed
    static volatile sig_atomic_t sigPid;        ///< sender of the last SIGHUP
    static int32_t dupProcPID;                  ///< the running dualprocess, as the process manager knows it

private:
    InitMMBOther();
    void advanceChgState();
};

#endif
