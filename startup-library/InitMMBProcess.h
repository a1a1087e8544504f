#ifndef INIT_MMB_PROCESS_H
#define INIT_MMB_PROCESS_H

#include <cstdint>

/// The record of one supervised daemon: what the process table says about
/// it, its current incarnation and its restarts. Starts the daemon, judges
/// restarts after a death and keeps the core file a crash left behind.
class InitMMBProcess {
public:
    /// Bytes of the executable path and the name, with the NUL.
    static constexpr int PATH_SIZE = 256;
    static constexpr int32_t MIN_LIFETIME = 300;  ///< seconds an incarnation must live to be restarted
    static constexpr int32_t MAX_RESTARTS = 3;    ///< restarts over the life of the record

    /// Codes of the restart judgement (judgeResult).
    enum Judgement { RESTART = 0, LIMIT_REACHED = 2, DIED_EARLY = 3, NOT_RESTARTABLE = 4 };

    /// A record whose executable lies in execDir (with its trailing "/").
    explicit InitMMBProcess(const char* execDir);
    InitMMBProcess(const InitMMBProcess&) = delete;
    InitMMBProcess& operator=(const InitMMBProcess&) = delete;

    /// Stores the table line's values; a name that does not fit beside the
    /// executable directory leaves the name empty, so nothing is started.
    void initialize(const char* moduleName, long downOp, long niceness, unsigned long key, long wait);
    /// Starts the daemon: forks, applies the niceness and runs the executable
    /// with its name and three start arguments: boot cause ("1" AC-ON), mode
    /// ("1" Active) and MMB number ("1" for the second board).
    /// @return the pid, -1 when the fork failed, 0 when the name is empty.
    int create();
    /// Starts the daemon unless a start was attempted before.
    /// @throw InitErrorLog* (new, the catcher deletes it) when the fork fails.
    void activate();
    /// Does nothing: the daemon keeps running.
    void inactivate();
    /// Counts a restart and starts the daemon again.
    /// @throw InitErrorLog* (new, the catcher deletes it) when the fork fails.
    void restart();
    /// Applies the restart rule to the death just handled (downTime): restart
    /// only with down-operation 1, after more than 300 seconds of life, at most
    /// three times. The reason goes into judgeResult.
    /// @return 1 when the daemon may be restarted, else 0.
    int judgeRestart();
    /// Moves the daemon's core file from /var/mmb/core to
    /// /mnt/dump/core.NAME.gz; for "mmbipmid" it first stops the watchdog.
    /// @return 0 when a core file was saved, 1 when there was none.
    int getCoredump();

    /// The executable: directory and name.
    char execPath[PATH_SIZE];
    /// Module name (table field 1) and argument 0 of the daemon.
    char name[PATH_SIZE];
    int32_t downOperation = 0;  ///< 1 allows restarts
    int32_t priority = 0;       ///< niceness increment of the child
    uint32_t processKey = 0;    ///< low byte goes into every record about the process
    /// The daemon started last; kept after its death.
    int32_t pid = 0;
    /// Seconds since the epoch at the last successful start.
    int32_t startTime = 0;
    int32_t downTime = 0;       ///< set by the manager for the death being judged
    /// Restarts so far, never reset.
    int32_t restartCount = 0;
    /// Judgement code of the last death.
    int32_t judgeResult = 0;
    bool active = false;        ///< a start was attempted
    int32_t waitSignal = 0;     ///< non-zero: wait for "mmbipmid" after starting this one
};

#endif
