// The error log file of a record: "/var/mmb/log/init/<seconds>.<milliseconds>".
// Apart from the record itself, so that a program reading saved records
// links without the library's file and trace classes.
#include "InitErrorLog.h"

#include "InitMMBFile.h"
#include "InitTraceHandler.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int MODE_CREATE = 1;

} // namespace

void InitErrorLog::saveLog(InitMMBFile& file) const
{
    file.open(MODE_CREATE);
    if (file.fp == nullptr)
        return;
    uint8_t saved[SAVED_SIZE];
    pack(saved);
    fseek(file.fp, 0, SEEK_SET);
    bool kept = fwrite(saved, sizeof saved, 1, file.fp) == 1 && fflush(file.fp) == 0 &&
                InitMMBFile::syncToStorage(fileno(file.fp), file.path) == 0;
    int error = errno;
    kept = fclose(file.fp) == 0 && kept;
    file.fp = nullptr;
    if (kept)
        return;
    // A full folder or a failing storage: the record is lost, but said so,
    // and no empty or cut file stands for it.
    InitTraceHandler::getInstance()->outputf(20011, 0, "write(%s) failed errno=%d", file.path, error);
    unlink(file.path);
}

void InitErrorLog::outputLog(InitErrorLog& record)
{
    char name[InitMMBFile::PATH_SIZE];
    // The board's own name format; the 0 flag beside the precision changes
    // nothing. The seconds are unsigned, as stored: past 2038 a name still
    // sorts by time and is never negative.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    snprintf(name, sizeof name, "/var/mmb/log/init/%u.%03.3d", static_cast<uint32_t>(record.time.seconds),
             static_cast<int>(record.time.microseconds / 1000));
#pragma GCC diagnostic pop
    InitMMBFile file;
    InitMMBFile::makePath(name, file.path);
    record.saveLog(file);
}
