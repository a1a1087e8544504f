#include "BoardTime.h"

#include "BoardPaths.h"
#include "EventLog.h"
#include "FileCopy.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr size_t MAX_TIMELINE = 8192;
constexpr long long MICROS = 1000000;

// Set while this process holds the clock's lock: a signal handler that
// reads the clock meanwhile must not wait for that lock (it never comes).
volatile sig_atomic_t clockHeld = 0;

struct Clock {
    long long seconds;
    long long micros;
    long long step;
};

// The clock file, opened and locked (unlocked when re-entered from a
// signal handler); -1 when the board has none.
int lockClock(const char* board)
{
    int fd = openBoardFile(board, CLOCK_FILE, O_RDWR);
    if (fd < 0 || clockHeld)
        return fd;
    clockHeld = 1;  // before the lock: a handler arriving in between must not wait for it
    int locked = 0;
    // A signal that ends the wait for the lock (a timer's, without restart)
    // must not turn this reading into the host's time.
    while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        close(fd);
        clockHeld = 0;
        return -1;
    }
    return fd;
}

// Closes the clock file; the lock goes with the descriptor.
void releaseClock(int fd, bool locked)
{
    close(fd);
    if (locked)
        clockHeld = 0;
}

bool loadClock(int fd, Clock& clock)
{
    char text[96] = {};
    return pread(fd, text, sizeof text - 1, 0) > 0 &&
           sscanf(text, "%lld %lld %lld", &clock.seconds, &clock.micros, &clock.step) == 3;
}

bool storeClock(int fd, const Clock& clock)
{
    char text[96];
    int length = snprintf(text, sizeof text, "%lld %lld %lld\n", clock.seconds + clock.micros / MICROS,
                          clock.micros % MICROS, clock.step);
    return ftruncate(fd, 0) == 0 && pwrite(fd, text, static_cast<size_t>(length), 0) == length;
}

constexpr int MAX_ACTIONS = 32;
constexpr size_t ACTION_SIZE = 1024;

struct Timeline {
    int count = 0;
    long long due[MAX_ACTIONS];
    char action[MAX_ACTIONS][ACTION_SIZE];
};

void parseTimeline(const char* text, Timeline& timeline)
{
    timeline.count = 0;
    for (const char* line = text; *line != '\0' && timeline.count < MAX_ACTIONS;) {
        int n = timeline.count;
        if (sscanf(line, "%lld %1023[^\n]", &timeline.due[n], timeline.action[n]) == 2)
            ++timeline.count;
        const char* next = strchr(line, '\n');
        line = next != nullptr ? next + 1 : line + strlen(line);
    }
}

// Removes the earliest action due at or before limit from the timeline
// into action; false when none is due.
bool popDueAction(const char* board, long long limit, long long& due, char* action, size_t size)
{
    int fd = openBoardFile(board, TIMELINE_FILE, O_RDWR);
    if (fd < 0)
        return false;
    static char text[MAX_TIMELINE];
    static Timeline timeline;
    ssize_t got = flock(fd, LOCK_EX) == 0 ? pread(fd, text, sizeof text - 1, 0) : -1;
    text[got > 0 ? got : 0] = '\0';
    parseTimeline(text, timeline);
    int earliest = -1;
    for (int i = 0; i < timeline.count; ++i)
        if (timeline.due[i] <= limit && (earliest < 0 || timeline.due[i] < timeline.due[earliest]))
            earliest = i;
    if (earliest >= 0) {
        due = timeline.due[earliest];
        snprintf(action, size, "%s", timeline.action[earliest]);
        size_t used = 0;
        for (int i = 0; i < timeline.count; ++i)
            if (i != earliest)
                used += static_cast<size_t>(snprintf(text + used, sizeof text - used, "%lld %s\n", timeline.due[i],
                                                     timeline.action[i]));
        if (ftruncate(fd, 0) != 0 || pwrite(fd, text, used, 0) != static_cast<ssize_t>(used))
            earliest = -1;
    }
    close(fd);
    return earliest >= 0;
}

// Carries out an action; the signal number it raised, or 0.
int perform(const char* action)
{
    char from[PATH_MAX];
    char to[PATH_MAX];
    int signal = 0;
    if (sscanf(action, "copy %4095s %4095s", from, to) == 2)
        copyFile(from, to);
    else if (sscanf(action, "signal %d", &signal) == 1)
        return signal;
    return 0;
}

} // namespace

bool readBoardClock(const char* board, long long& seconds, long long& micros)
{
    bool nested = clockHeld;
    int fd = lockClock(board);
    if (fd < 0)
        return false;
    Clock clock;
    bool ok = loadClock(fd, clock);
    if (ok) {
        seconds = clock.seconds;
        micros = clock.micros;
        clock.micros += clock.step;
        if (!nested)  // a nested reading sees the time without moving it
            ok = storeClock(fd, clock);
    }
    releaseClock(fd, !nested);
    return ok;
}

long long boardSeconds(const char* board)
{
    bool nested = clockHeld;
    int fd = lockClock(board);
    if (fd < 0)
        return -1;
    Clock clock;
    bool ok = loadClock(fd, clock);
    releaseClock(fd, !nested);
    return ok ? clock.seconds : -1;
}

bool scheduleAt(const char* board, long long seconds, const char* action)
{
    int fd = openBoardFile(board, TIMELINE_FILE, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    char line[PATH_MAX * 2 + 32];
    int length = snprintf(line, sizeof line, "%lld %s\n", seconds, action);
    bool ok = length > 0 && static_cast<size_t>(length) < sizeof line && write(fd, line, static_cast<size_t>(length)) == length;
    close(fd);
    return ok;
}

int sleepOnBoard(const char* board, unsigned seconds)
{
    long long start = boardSeconds(board);
    if (start < 0)
        return -1;
    logEvent(board, "sleep %u", seconds);
    long long target = start + seconds;
    for (;;) {
        long long due = 0;
        char action[PATH_MAX * 2];
        bool pending = popDueAction(board, target, due, action, sizeof action);
        bool nested = clockHeld;
        int fd = lockClock(board);
        Clock clock;
        if (fd < 0 || !loadClock(fd, clock)) {
            if (fd >= 0)
                releaseClock(fd, !nested);
            return 0;
        }
        clock.seconds = pending && due > clock.seconds ? due : (pending ? clock.seconds : target);
        if (!nested)
            storeClock(fd, clock);
        releaseClock(fd, !nested);  // unlocked before a scheduled signal's handler reads the clock
        if (!pending)
            return 0;
        if (int signal = perform(action); signal != 0) {
            raise(signal);
            return static_cast<int>(target - clock.seconds);
        }
    }
}

} // namespace sim
