#ifndef INIT_MMB_PROCESS_MGR_H
#define INIT_MMB_PROCESS_MGR_H

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <vector>

class InitMMBProcess;

/// Brings up and watches the board's daemons: reads a process table into
/// one of two lists, starts the daemons in table order (holding back until
/// "mmbipmid" signals readiness), then reaps, restarts or reports every
/// death. Its monitoring loop is also where mode changes surface.
class InitMMBProcessMGR {
public:
    static constexpr long MONITOR_INTERVAL = 120;  ///< seconds between liveness passes
    static constexpr long START_WAIT = 360;        ///< seconds "mmbipmid" has to signal readiness
    static constexpr int DOWN_INFO_SIZE = 2048;    ///< bytes of every down-info file

    /// The single object, created on the first call with both lists empty.
    static InitMMBProcessMGR* getInstance();

    InitMMBProcessMGR(const InitMMBProcessMGR&) = delete;
    InitMMBProcessMGR& operator=(const InitMMBProcessMGR&) = delete;

    /// Reads the process table file into list 0 (standing, every mode) or any
    /// other number (list 1, the Active list) and starts its daemons in table
    /// order, with the start wait for "mmbipmid" after a line whose ninth field
    /// is non-zero. A missing file starts nothing and is no error.
    /// @throw InitErrorLog* (new, the catcher deletes it) when a line is
    /// malformed, the count line does not match, a fork fails or "mmbipmid"
    /// does not signal readiness within 360 seconds.
    void create(int list, const char* file);
    /// Reads /etc/mmb/init/pro_file.ctl into list 1 and starts it, the first
    /// time (or after a failed read); afterwards starts any daemon of list 1
    /// never attempted. Throws as create() does.
    void activate();
    /// Does nothing to the daemons of list 1: they keep running (a board
    /// becoming Standby keeps them).
    void inactivate();
    /// Supervises both lists for ever: reaps dead daemons, writes their down
    /// information, restarts them by the restart rule, and on each pass that
    /// restarted nothing (at least every 120 seconds) asks
    /// InitMMBOther::causeChgExp() whether a mode change is due. Call it
    /// after create()/activate(). It returns only by an exception.
    /// @throw InitErrorLog* (new, the catcher deletes it) when a daemon may
    /// not be restarted or its restart fails: the board is to reboot.
    /// @throw const char* InitMMBOther::MODE_CHG_ACTIVATE or
    /// MODE_CHG_INACTIVATE: carry out the mode change, then call it again.
    [[noreturn]] void startMonitoring();
    /// @return the first record named name, standing list first; null if none.
    InitMMBProcess* findByName(const char* name);
    /// @return the record of list whose daemon has pid; null if none.
    InitMMBProcess* findByPid(std::vector<InitMMBProcess*>& list, int pid);
    /// Handles the death of pid with wait status status, if it belongs to list.
    /// @return 0 when it does not, 1 after a restart.
    /// @throw InitErrorLog* (new, the catcher deletes it) when it may not be
    /// restarted.
    int checkProcDown(std::vector<InitMMBProcess*>& list, int pid, int status);
    /// Arms the one-shot SIGALRM timer, unless one is armed already.
    void setInterval(long seconds);
    /// The start wait: waits until signal sig arrives (endNotified), the timer
    /// expires (itimerNotify) or a child dies (downPid).
    void waitMMBProcess(int pid, int sig);
    /// Opens a start wait: installs the handler for sig and arms the 360-second timer.
    void openMMBProcessReq(int pid, int sig);
    /// Closes a start wait: sig is ignored from then on.
    void closeMMBProcessReq(int pid, int sig);
    /// The SIGALRM handler: notes an expiry that counts.
    static void itimerSigHandler(int sig);
    /// The start-signal handler: notes the signal (endNotified).
    static void waitSigHandler(int sig, siginfo_t* info, void* context);

    /// Daemons started by create() so far.
    uint32_t startedCount = 0;
    std::vector<InitMMBProcess*> standingProcs;  ///< list 0
    std::vector<InitMMBProcess*> activeProcs;    ///< list 1, read by activate
    /// List 1 has been read and passed its count check.
    bool activeCreated = false;
    /// List 0 has been read and passed its count check.
    bool standingCreated = false;

    /// The single object, or null before the first getInstance().
    static InitMMBProcessMGR* instance;
    static volatile sig_atomic_t endNotified;   ///< the start signal arrived
    static volatile sig_atomic_t itimerNotify;  ///< the armed timer expired
    static volatile sig_atomic_t itimerEnable;  ///< a timer is armed and its expiry counts
    static volatile sig_atomic_t downPid;       ///< a child reaped during the start wait
    static volatile sig_atomic_t waitPid;       ///< whose start signal is awaited

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
