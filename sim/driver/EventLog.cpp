#include "EventLog.h"

#include "BoardPaths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

namespace sim {

void logEvent(const char* board, const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) > sizeof line - 2)
        length = sizeof line - 2;
    line[length++] = '\n';
    int fd = openBoardFile(board, EVENT_LOG, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return;
    // One append per line keeps lines whole when several processes log.
    if (write(fd, line, static_cast<size_t>(length)) < 0)
        perror("mmb-sim: event log");
    close(fd);
}

} // namespace sim
