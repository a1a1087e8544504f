// The record of one supervised daemon: what the process table says about
// it, its current incarnation and its restarts. Starts the daemon, judges
// restarts after a death and keeps the core file a crash left behind.
#ifndef INIT_MMB_PROCESS_H
#define INIT_MMB_PROCESS_H

#include <cstdint>

class InitMMBProcess {
public:
    static constexpr int PATH_SIZE = 256;
    static constexpr int32_t MIN_LIFETIME = 300;  // seconds an incarnation must live to be restarted
    static constexpr int32_t MAX_RESTARTS = 3;    // restarts over the life of the record

    // Codes of the restart judgement (judgeResult).
    enum Judgement { RESTART = 0, LIMIT_REACHED = 2, DIED_EARLY = 3, NOT_RESTARTABLE = 4 };

    explicit InitMMBProcess(const char* execDir);
    InitMMBProcess(const InitMMBProcess&) = delete;
    InitMMBProcess& operator=(const InitMMBProcess&) = delete;

    // Stores the table line's values; a name that does not fit beside the
    // executable directory leaves the name empty, so nothing is started.
    void initialize(const char* moduleName, long downOp, long niceness, unsigned long key, long wait);
    int create();
    void activate();
    void inactivate();
    void restart();
    int judgeRestart();
    int getCoredump();

    char execPath[PATH_SIZE];
    char name[PATH_SIZE];
    int32_t downOperation = 0;  // 1 allows restarts
    int32_t priority = 0;       // niceness increment of the child
    uint32_t processKey = 0;    // low byte goes into every record about the process
    int32_t pid = 0;
    int32_t startTime = 0;
    int32_t downTime = 0;       // set by the manager for the death being judged
    int32_t restartCount = 0;
    int32_t judgeResult = 0;
    bool active = false;        // a start was attempted
    int32_t waitSignal = 0;     // non-zero: wait for "mmbipmid" after starting this one
};

#endif
