// The error log file of a record: "/var/mmb/log/init/<seconds>.<milliseconds>".
// Apart from the record itself, so that a program reading saved records
// links without the library's file and trace classes.
#include "InitErrorLog.h"

#include "InitMMBFile.h"

#include <cstdio>

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
    fwrite(saved, sizeof saved, 1, file.fp);
    fclose(file.fp);
    file.fp = nullptr;
}

void InitErrorLog::outputLog(InitErrorLog& record)
{
    char name[InitMMBFile::PATH_SIZE];
    // The board's own name format; the 0 flag beside the precision changes nothing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    snprintf(name, sizeof name, "/var/mmb/log/init/%d.%03.3d", static_cast<int>(record.time.seconds),
             static_cast<int>(record.time.microseconds / 1000));
#pragma GCC diagnostic pop
    InitMMBFile file;
    InitMMBFile::makePath(name, file.path);
    record.saveLog(file);
}
