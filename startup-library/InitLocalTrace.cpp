#include "InitLocalTrace.h"

#include "InitMMBFile.h"
#include "InitTraceFile.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <sys/time.h>

namespace {

constexpr int LINE_SIZE = 320;  // level name, a catalogue line and the time
constexpr int REPLAY_LINE_SIZE = 256;
constexpr int REPLAY_TRACE_ID = 256;
constexpr size_t LEVEL_NAME_LENGTH = 4;  // "RUN#" and its kin
constexpr size_t TEXT_START = LEVEL_NAME_LENGTH + 1;

} // namespace

const InitLocalTrace::LevelName InitLocalTrace::levelConvTbl[4] = {
    {"RUN#", 0}, {"DBG#", 1}, {"DVT#", 2}, {"", -1}};

InitLocalTrace* InitLocalTrace::instance = nullptr;

InitLocalTrace* InitLocalTrace::getInstance()
{
    if (instance == nullptr)
        instance = new InitLocalTrace();
    return instance;
}

// Both sinks are reached from signal handlers too, so the file is written
// and read with plain system calls and stack buffers: no stdio stream, no
// lock, no allocation.
void InitLocalTrace::put(int level, const char* line)
{
    if (fileName == nullptr)
        return;
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(fileName, path);
    // "w+" for the first line, then "a"; always appending, so a line a signal
    // handler writes meanwhile is never overwritten.
    int flags = O_WRONLY | O_CREAT | O_APPEND | (lineCount == 0 ? O_TRUNC : 0);
    int fd = InitMMBFile::openRegular(path, flags, 0666);
    if (fd < 0)
        return;
    timeval now;
    gettimeofday(&now, nullptr);
    char text[LINE_SIZE];
    // The seconds as the stored 32-bit fields hold them: unsigned, never negative past 2038.
    int length = snprintf(text, sizeof text, "%s %s(sec=%u)\n", levelConvTbl[level].name, line,
                          static_cast<uint32_t>(now.tv_sec));
    if (length > 0)
        write(fd, text, static_cast<size_t>(length) < sizeof text ? static_cast<size_t>(length) : sizeof text - 1);
    close(fd);
    if (++lineCount > MAX_LINE_INDEX)
        lineCount = 0;
}

namespace {

// Reads a file in pieces as fgets would: up to size - 1 characters, ending
// after a newline.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    bool next(char* line, size_t size)
    {
        size_t used = 0;
        while (used + 1 < size) {
            if (start_ == end_ && !fill())
                break;
            char c = buffer_[start_++];
            line[used++] = c;
            if (c == '\n')
                break;
        }
        line[used] = '\0';
        return used > 0;
    }

private:
    bool fill()
    {
        ssize_t got = read(fd_, buffer_, sizeof buffer_);
        start_ = 0;
        end_ = got > 0 ? static_cast<size_t>(got) : 0;
        return end_ > 0;
    }

    int fd_;
    char buffer_[1024];
    size_t start_ = 0;
    size_t end_ = 0;
};

} // namespace

void InitLocalTrace::exportInitLog(InitTraceFile& traceFile)
{
    if (fileName == nullptr || exported || traceFile.isRunning() == 0)
        return;
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(fileName, path);
    int fd = InitMMBFile::openRegular(path, O_RDONLY, 0);
    if (fd < 0)
        return;
    LineReader reader(fd);
    char line[REPLAY_LINE_SIZE];
    for (int i = 0; i < lineCount && reader.next(line, sizeof line); ++i) {
        size_t length = strlen(line);
        if (length > 0)
            line[--length] = '\0';
        for (const LevelName* entry = levelConvTbl; entry->level != -1; ++entry) {
            if (strncmp(line, entry->name, LEVEL_NAME_LENGTH) == 0) {
                traceFile.put(entry->level, length >= TEXT_START ? line + TEXT_START : "", REPLAY_TRACE_ID);
                break;
            }
        }
    }
    close(fd);
    exported = true;
}
