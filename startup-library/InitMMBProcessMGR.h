// Brings up and watches the board's daemons: reads a process table into
// one of two lists, starts the daemons in table order (holding back until
// "mmbipmid" signals readiness), then reaps, restarts or reports every
// death. Its monitoring loop is also where mode changes surface.
#ifndef INIT_MMB_PROCESS_MGR_H
#define INIT_MMB_PROCESS_MGR_H

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <vector>

class InitMMBProcess;

class InitMMBProcessMGR {
public:
    static constexpr long MONITOR_INTERVAL = 120;  // seconds between liveness passes
    static constexpr long START_WAIT = 360;        // seconds "mmbipmid" has to signal readiness
    static constexpr int DOWN_INFO_SIZE = 2048;    // bytes of every down-info file

    static InitMMBProcessMGR* getInstance();

    InitMMBProcessMGR(const InitMMBProcessMGR&) = delete;
    InitMMBProcessMGR& operator=(const InitMMBProcessMGR&) = delete;

    void create(int list, const char* file);
    void activate();
    void inactivate();
    [[noreturn]] void startMonitoring();
    InitMMBProcess* findByName(const char* name);
    InitMMBProcess* findByPid(std::vector<InitMMBProcess*>& list, int pid);
    int checkProcDown(std::vector<InitMMBProcess*>& list, int pid, int status);
    void setInterval(long seconds);
    void waitMMBProcess(int pid, int sig);
    void openMMBProcessReq(int pid, int sig);
    void closeMMBProcessReq(int pid, int sig);
    static void itimerSigHandler(int sig);
    static void waitSigHandler(int sig, siginfo_t* info, void* context);

    uint32_t startedCount = 0;
    std::vector<InitMMBProcess*> standingProcs;  // list 0
    std::vector<InitMMBProcess*> activeProcs;    // list 1, read by activate
    bool activeCreated = false;
    bool standingCreated = false;

    static InitMMBProcessMGR* instance;
    static volatile sig_atomic_t endNotified;   // the start signal arrived
    static volatile sig_atomic_t itimerNotify;  // the armed timer expired
    static volatile sig_atomic_t itimerEnable;  // a timer is armed and its expiry counts
    static volatile sig_atomic_t downPid;       // a child reaped during the start wait
    static volatile sig_atomic_t waitPid;       // whose start signal is awaited

private:
    InitMMBProcessMGR() = default;
    void startWait();
    pid_t monitorWait(int& status);
    static void catchSignal(int sig);
    void writeDownInfo(char* downlog, size_t used, int32_t when);
    void keepBacktrace(const InitMMBProcess& process, int32_t when);
    [[noreturn]] void rebootFor(InitMMBProcess& process, int status);
};

#endif
