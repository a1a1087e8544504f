#include "BoardPaths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

namespace sim {

bool boardPath(char* out, size_t size, const char* board, const char* format, ...)
{
    if (board == nullptr || *board == '\0')
        return false;
    int used = snprintf(out, size, "%s/", board);
    if (used < 0 || static_cast<size_t>(used) >= size)
        return false;
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): started just above; the analyzer loses track
    int rest = vsnprintf(out + used, size - static_cast<size_t>(used), format, args);
    va_end(args);
    return rest >= 0 && static_cast<size_t>(used) + static_cast<size_t>(rest) < size;
}

int openBoardFile(const char* board, const char* file, int flags)
{
    char path[PATH_MAX];
    if (!boardPath(path, sizeof path, board, "%s", file))
        return -1;
    return open(path, flags | O_CLOEXEC, 0644);
}

const char* boardFromEnvironment()
{
    const char* board = getenv(BOARD_ENV);
    return (board != nullptr && *board != '\0') ? board : nullptr;
}

} // namespace sim
