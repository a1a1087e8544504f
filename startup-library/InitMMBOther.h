// The other MMB of a redundant pair: this board's Active/Standby decision,
// the mode-change sequence that dualprocess drives with SIGHUP, the
// liveness of dualprocess, and the messages and files exchanged with it and
// with the other board.
#ifndef INIT_MMB_OTHER_H
#define INIT_MMB_OTHER_H

#include "InitMMBFirm.h"

#include <csignal>
#include <cstdint>

class InitMMBOther {
public:
    static const char* MODE_CHG_ACTIVATE;    // thrown to order a change to Active
    static const char* MODE_CHG_INACTIVATE;  // thrown to order a change to Standby

    // States of the change sequence (chgState).
    enum ChangeState {
        CHG_IDLE = 0,       // no request
        CHG_REQUESTED = 1,  // dualprocess sent SIGHUP
        CHG_ORDERED = 2,    // causeChgExp threw the order
        CHG_SWITCHED = 3,   // dualprocess sent its second SIGHUP
        CHG_SEEN = 4,       // waitSwitchComp saw it
    };

    static InitMMBOther* getInstance();

    InitMMBOther(const InitMMBOther&) = delete;
    InitMMBOther& operator=(const InitMMBOther&) = delete;

    int decide(bool initArg1, int initArg2);
    int open(char* arg1, char* arg2, char* arg3);
    int checkOtherInstall();
    int isChangeModeReq();
    int causeChgExp(bool force);
    int checkdualprocess();
    void setPid();
    void enableChgModeReq();
    void disableChgModeReq();
    static void modeChange_sighandler(int sig, siginfo_t* info, void* context);
    void waitSwitchComp();

    void sendReady();
    void sendActiveEnd();
    void sendChangeCompResp();
    void execIPCSend(unsigned long code);
    int receiveFile(const char* path, int timeout, bool sync);
    void sendFile(const char* path);
    struct InitMMBFirm::initError* getErrorLog();
    void putErrorLog(struct InitMMBFirm::initError& record);
    void close();
    void sendStatus();
    void startFUP();

    int32_t mmbMode = 0;          // 0 Active, 1 Standby, by the last decision
    int32_t otherInstalled = 0;   // non-zero: the other board is installed
    bool opened = false;          // the final decision is made
    bool forcedChange = false;    // a request was accepted for the own status bits 0x78
    bool statusBit9 = false;      // bit 0x200 of the own status word at the last decision
    volatile sig_atomic_t chgState = CHG_IDLE;  // written by the SIGHUP handler too
    bool checkDualOnIdle = true;  // causeChgExp checks dualprocess when no change is due

    static InitMMBOther* instance;
    static volatile sig_atomic_t enableChgReq;  // the SIGHUP handler is installed
    static volatile sig_atomic_t sigPid;        // sender of the last SIGHUP
    static int32_t dupProcPID;                  // dualprocess as the process manager knows it

private:
    InitMMBOther();
    void advanceChgState();
};

#endif
