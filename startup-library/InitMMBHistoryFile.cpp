// The history's file: appending a record and keeping the local trace.
#include "InitMMBHistory.h"

#include "InitLocalTrace.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr mode_t FILE_MODE = 0644;
constexpr const char* TRACE_WORK_NAME = "mmbinit-work";  // no kept trace's name begins so

bool startWritten = false;
uint32_t startSequence = 0;  // names this boot's kept trace

void traceFailure(const char* what, const char* path, int error)
{
    InitTraceHandler::getInstance()->outputf(20011, 0, "%s(%s) failed errno=%d", what, path, error);
}

// The time of day as the error log records and down-info names take it, so
// that one board's records all follow one clock (the simulator's too).
time_t timeOfDay()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return now.tv_sec;
}

InitMMBHistory::Record stateRecord(InitMMBHistory::Kind kind, InitMMBHistory::Reason reason, uint32_t sequence)
{
    const InitMMBFirm& firm = *InitMMBFirm::getInstance();
    InitMMBHistory::Record record = {};
    record.sequence = sequence;
    record.seconds = static_cast<uint32_t>(timeOfDay());
    record.kind = kind;
    record.reason = reason;
    record.role = firm.activeMode == 0 ? 0 : 1;
    record.bootCause = firm.bootCause;
    record.mmbId = firm.mmbId;
    record.firmUpMode = firm.header.firmUpMode;
    record.currentHcpNo = firm.header.currentHcpNo;
    record.nextHcpNo = firm.header.nextHcpNo;
    record.currentBootRom = firm.header.currentBootRom;
    record.nextBootRom = firm.header.nextBootRom;
    memcpy(record.currentHcpRev, firm.header.currentHcpRev, InitMMBHistory::REV_SIZE);
    memcpy(record.nextHcpRev, firm.header.nextHcpRev, InitMMBHistory::REV_SIZE);
    return record;
}

// Writes the next record into its slot. @return false with errno set.
bool appendTo(int fd, const char* path, InitMMBHistory::Kind kind, InitMMBHistory::Reason reason)
{
    static uint8_t content[InitMMBHistory::FILE_MAX_SIZE];
    ssize_t got = pread(fd, content, sizeof content, 0);
    if (got < 0)
        return false;
    InitMMBHistory::Contents contents = InitMMBHistory::read(content, static_cast<size_t>(got));
    InitMMBHistory::Record record = stateRecord(kind, reason, InitMMBHistory::nextSequence(contents));
    uint8_t stored[InitMMBHistory::RECORD_SIZE];
    record.pack(stored);
    off_t offset = static_cast<off_t>(record.sequence % InitMMBHistory::CAPACITY) * InitMMBHistory::RECORD_SIZE;
    if (pwrite(fd, stored, sizeof stored, offset) != static_cast<ssize_t>(sizeof stored) ||
        InitMMBFile::syncToStorage(fd, path) != 0)
        return false;
    if (kind == InitMMBHistory::START) {
        startWritten = true;
        startSequence = record.sequence;
    }
    return true;
}

// Copies at most TRACE_MAX_SIZE bytes of from into to. @return false with errno set.
bool copyInto(int from, int to, const char* toPath)
{
    static char buffer[InitMMBHistory::TRACE_MAX_SIZE];
    ssize_t got = read(from, buffer, sizeof buffer);
    return got >= 0 && write(to, buffer, static_cast<size_t>(got)) == got && InitMMBFile::syncToStorage(to, toPath) == 0;
}

} // namespace

void InitMMBHistory::append(Kind kind, Reason reason)
{
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(PATH, path);
    int fd = InitMMBFile::openTraced(path, O_RDWR | O_CREAT, FILE_MODE);
    bool appended = fd >= 0 && appendTo(fd, path, kind, reason);
    int error = errno;
    if (fd >= 0)
        close(fd);
    if (!appended)
        traceFailure("history append", path, error);
    keepTrace();
}

void InitMMBHistory::keepTrace()
{
    const char* traceName = InitLocalTrace::getInstance()->fileName;
    if (!startWritten || traceName == nullptr)
        return;
    char source[InitMMBFile::PATH_SIZE];
    char work[InitMMBFile::PATH_SIZE];
    char kept[InitMMBFile::PATH_SIZE];
    char name[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(traceName, source);
    snprintf(name, sizeof name, "%s/%s", TRACE_FOLDER, TRACE_WORK_NAME);
    InitMMBFile::makePath(name, work);
    snprintf(name, sizeof name, "%s/%s%u.log", TRACE_FOLDER, TRACE_PREFIX, startSequence);
    InitMMBFile::makePath(name, kept);
    int from = InitMMBFile::openTraced(source, O_RDONLY, 0);
    int to = InitMMBFile::openTraced(work, O_WRONLY | O_CREAT | O_TRUNC, FILE_MODE);
    bool copied = from >= 0 && to >= 0 && copyInto(from, to, work) && rename(work, kept) == 0 &&
                  InitMMBFile::syncToStorage(kept) == 0;
    int error = errno;
    if (from >= 0)
        close(from);
    if (to >= 0)
        close(to);
    if (!copied)
        traceFailure("trace keep", kept, error);
}
