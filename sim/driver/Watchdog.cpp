#include "Watchdog.h"

#include "BoardPaths.h"
#include "BoardPrograms.h"
#include "BoardTime.h"
#include "CpldRegisters.h"
#include "EventLog.h"
#include "FaultTable.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint32_t RESET_TYPE_REGISTER = 0x0600;
constexpr uint16_t WATCHDOG_ERROR = 0x0100;
constexpr uint32_t CONTROL_REGISTER = 0x0610;
constexpr uint16_t STOPPED = 0x8080;  // the disable bit, or the stop of a core dump

struct State {
    long long period = WATCHDOG_PERIOD;
    long long fed = -1;
    long long feeder = 0;
};

// Set while this process checks: a signal handler's clock reading must not
// check again on the locked file.
volatile sig_atomic_t checking = 0;

// The state file, opened (made when create says so) and locked; -1 when
// it cannot be.
int lockState(const char* board, bool create)
{
    int fd = openBoardFile(board, WATCHDOG_FILE, O_RDWR | (create ? O_CREAT : 0));
    if (fd >= 0 && flock(fd, LOCK_EX) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

State loadState(int fd)
{
    State state;
    char text[256] = {};
    if (pread(fd, text, sizeof text - 1, 0) <= 0)
        return state;
    for (const char* line = text; line != nullptr && *line != '\0';) {
        char key[16];
        long long value = 0;
        if (sscanf(line, "%15s %lld", key, &value) == 2) {
            if (strcmp(key, "period") == 0)
                state.period = value;
            else if (strcmp(key, "fed") == 0)
                state.fed = value;
            else if (strcmp(key, "feeder") == 0)
                state.feeder = value;
        }
        line = strchr(line, '\n');
        line = line != nullptr ? line + 1 : nullptr;
    }
    return state;
}

void storeState(int fd, const State& state)
{
    char text[128];
    int length = snprintf(text, sizeof text, "period %lld\nfed %lld\nfeeder %lld\n", state.period, state.fed,
                          state.feeder);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(length), 0) != length)
        perror("mmb-sim: watchdog state");
}

// Reads (or, with set, sets bits of) a register as the hardware does,
// without a program's write being logged.
uint16_t hardwareRegister(const char* board, uint32_t reg, uint16_t set = 0)
{
    int fd = openBoardFile(board, CPLD_FILE, O_RDWR);
    uint16_t value = 0;
    if (fd >= 0 && CpldRegisters::read(fd, reg, value) == 0 && set != 0)
        CpldRegisters::write(fd, reg, static_cast<uint16_t>(value | set));
    if (fd >= 0)
        close(fd);
    return value;
}

// A dead feeder is gone, or a zombie its parent has not reaped yet.
bool feederRuns(long long pid)
{
    if (pid <= 0 || kill(static_cast<pid_t>(pid), 0) != 0)
        return false;
    char path[64];
    snprintf(path, sizeof path, "/proc/%lld/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    char text[512] = {};
    ssize_t got = fd >= 0 ? read(fd, text, sizeof text - 1) : -1;
    if (fd >= 0)
        close(fd);
    const char* end = got > 0 ? strrchr(text, ')') : nullptr;  // the state follows the name
    return end != nullptr && end[1] == ' ' && end[2] != 'Z' && end[2] != 'X';
}

[[noreturn]] void expire(const char* board, int fd, State& state)
{
    state.fed = -1;
    state.feeder = 0;
    storeState(fd, state);
    close(fd);
    hardwareRegister(board, RESET_TYPE_REGISTER, WATCHDOG_ERROR);
    logEvent(board, "watchdog reset");
    haltBoard(board);
}

} // namespace

void feedWatchdog(const char* board, int pid)
{
    long long now = boardSeconds(board);
    int fd = now >= 0 ? lockState(board, true) : -1;
    if (fd < 0)
        return;
    State state = loadState(fd);
    state.fed = now;
    state.feeder = pid;
    storeState(fd, state);
    close(fd);
}

void checkWatchdog(const char* board, long long now)
{
    if (checking || board == nullptr)
        return;
    checking = 1;
    int fd = lockState(board, false);  // a board whose watchdog was never fed has no file
    State state = fd >= 0 ? loadState(fd) : State{};
    bool armed = fd >= 0 && state.fed >= 0 && now > state.fed;
    bool stopped = armed && (hardwareRegister(board, CONTROL_REGISTER) & STOPPED) != 0;
    bool fed = armed && feederRuns(state.feeder) && !FaultTable::consume(board, nullptr, "feeder-hang");
    if (armed && (stopped || fed)) {
        state.fed = now;  // a stopped watchdog counts afresh once it runs again
        storeState(fd, state);
    } else if (armed && now - state.fed >= state.period) {
        expire(board, fd, state);
    }
    if (fd >= 0)
        close(fd);
    checking = 0;
}

void restartWatchdog(const char* board)
{
    int fd = lockState(board, false);
    if (fd < 0)
        return;
    State state = loadState(fd);
    state.fed = -1;
    state.feeder = 0;
    storeState(fd, state);
    close(fd);
}

} // namespace sim
