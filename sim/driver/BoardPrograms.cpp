#include "BoardPrograms.h"

#include "BoardPaths.h"

#include <ctype.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int MAX_PROGRAMS = 1024;
constexpr int ROUNDS = 200;
constexpr useconds_t ROUND_PAUSE = 10000;

// True when the process's environment holds the entry "MMBSIM_BOARD=board".
bool runsOn(const char* pid, const char* entry)
{
    char path[300];  // a /proc entry's name is at most 255 bytes
    snprintf(path, sizeof path, "/proc/%s/environ", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    static char environment[65536];
    ssize_t got = read(fd, environment, sizeof environment - 1);
    close(fd);
    if (got <= 0)
        return false;
    environment[got] = '\0';
    size_t length = strlen(entry);
    for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(strlen(environment + at)) + 1)
        if (strncmp(environment + at, entry, length + 1) == 0)
            return true;
    return false;
}

int boardPids(const char* board, pid_t* pids)
{
    char entry[4096];
    snprintf(entry, sizeof entry, "%s=%s", BOARD_ENV, board);
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return 0;
    int count = 0;
    while (dirent* item = readdir(proc)) {
        if (!isdigit(static_cast<unsigned char>(item->d_name[0])))
            continue;
        auto pid = static_cast<pid_t>(atol(item->d_name));
        if (pid != getpid() && count < MAX_PROGRAMS && runsOn(item->d_name, entry))
            pids[count++] = pid;
    }
    closedir(proc);
    return count;
}

} // namespace

bool stopBoardPrograms(const char* board)
{
    // Rounds, since a program may start another while it is being killed.
    // Every program is stopped before any is killed: a supervisor that saw
    // a daemon die first would act on it (a down log, a roll-back in NVRAM)
    // as a power cut never lets it, and pids, which wrap, tell no order.
    static pid_t pids[MAX_PROGRAMS];
    for (int round = 0; round < ROUNDS; ++round) {
        int count = boardPids(board, pids);
        if (count == 0)
            return true;
        for (int i = 0; i < count; ++i)
            kill(pids[i], SIGSTOP);
        for (int i = 0; i < count; ++i)
            kill(pids[i], SIGKILL);
        usleep(ROUND_PAUSE);
    }
    return false;
}

void haltBoard(const char* board)
{
    stopBoardPrograms(board);
    for (;;)
        kill(getpid(), SIGKILL);
}

void endWithSupervisor(pid_t supervisor)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != supervisor)
        _exit(0);
}

} // namespace sim
