#include "SettingsFile.h"

#include "BoardPaths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr size_t MAX_FILE = 4096;

// Reads the whole file; empty when it does not exist.
bool readText(int fd, char* text)
{
    ssize_t got = pread(fd, text, MAX_FILE - 1, 0);
    if (got < 0)
        return false;
    text[got] = '\0';
    return true;
}

// Start of the line holding key, or null.
const char* findKey(const char* text, const char* key)
{
    size_t length = strlen(key);
    for (const char* line = text; *line != '\0';) {
        if (strncmp(line, key, length) == 0 && line[length] == ' ')
            return line;
        const char* next = strchr(line, '\n');
        if (next == nullptr)
            break;
        line = next + 1;
    }
    return nullptr;
}

} // namespace

bool getSetting(const char* board, const char* file, const char* key, char* value, size_t size)
{
    int fd = openBoardFile(board, file, O_RDONLY);
    if (fd < 0)
        return false;
    static char text[MAX_FILE];
    bool found = flock(fd, LOCK_SH) == 0 && readText(fd, text);
    close(fd);
    const char* line = found ? findKey(text, key) : nullptr;
    if (line == nullptr)
        return false;
    const char* start = line + strlen(key) + 1;
    size_t length = strcspn(start, "\n");
    if (length >= size)
        return false;
    memcpy(value, start, length);
    value[length] = '\0';
    return true;
}

long getNumberSetting(const char* board, const char* file, const char* key, long fallback)
{
    char value[64];
    return getSetting(board, file, key, value, sizeof value) ? strtol(value, nullptr, 0) : fallback;
}

bool putSetting(const char* board, const char* file, const char* key, const char* value)
{
    int fd = openBoardFile(board, file, O_RDWR | O_CREAT);
    if (fd < 0)
        return false;
    static char text[MAX_FILE];
    static char updated[MAX_FILE];
    bool ok = flock(fd, LOCK_EX) == 0 && readText(fd, text);
    if (ok) {
        const char* line = findKey(text, key);
        size_t before = line != nullptr ? static_cast<size_t>(line - text) : strlen(text);
        const char* after = line != nullptr ? line + strcspn(line, "\n") : "";
        if (*after == '\n')
            ++after;
        int length = snprintf(updated, sizeof updated, "%.*s%s %s\n%s", static_cast<int>(before), text, key, value,
                              after);
        ok = length > 0 && static_cast<size_t>(length) < sizeof updated && ftruncate(fd, 0) == 0 &&
             pwrite(fd, updated, static_cast<size_t>(length), 0) == length;
    }
    close(fd);
    return ok;
}

} // namespace sim
