#include "StartTiming.h"

#include "BoardPaths.h"
#include "BoardTime.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace sim {

namespace {

bool markPath(char* out, size_t size, const char* board, pid_t pid, const char* suffix)
{
    return boardPath(out, size, board, "%s/%d%s", STARTED_DIR, static_cast<int>(pid), suffix);
}

void createMark(const char* board, pid_t pid, const char* suffix)
{
    char path[PATH_MAX];
    if (!markPath(path, sizeof path, board, pid, suffix))
        return;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        close(fd);
}

} // namespace

void markForked(const char* board)
{
    if (boardSeconds(board) >= 0)
        createMark(board, getpid(), ".forked");
}

void markStartTimed(const char* board, pid_t child)
{
    createMark(board, child, "");
}

void awaitStartTimed(const char* board)
{
    char forked[PATH_MAX];
    char timed[PATH_MAX];
    char folder[PATH_MAX];
    if (!markPath(forked, sizeof forked, board, getpid(), ".forked") ||
        !markPath(timed, sizeof timed, board, getpid(), "") ||
        !boardPath(folder, sizeof folder, board, "%s", STARTED_DIR) || access(forked, F_OK) != 0)
        return;
    int watch = inotify_init1(IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, folder, IN_CREATE | IN_MOVED_TO) >= 0) {
        // The mark may have come before the watch: look after arming it.
        alignas(inotify_event) char events[sizeof(inotify_event) + NAME_MAX + 1];
        while (access(timed, F_OK) != 0 && read(watch, events, sizeof events) > 0) {
        }
    }
    if (watch >= 0)
        close(watch);
    unlink(timed);
    unlink(forked);
}

} // namespace sim
