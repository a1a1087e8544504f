#include "InitLocalTrace.h"

#include "InitMMBFile.h"
#include "InitTraceFile.h"

#include <cstring>
#include <sys/time.h>

namespace {

constexpr int MODE_READ = 0;
constexpr int MODE_CREATE = 1;
constexpr int MODE_APPEND = 4;
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

void InitLocalTrace::put(int level, const char* line)
{
    if (fileName == nullptr)
        return;
    InitMMBFile file;
    InitMMBFile::makePath(fileName, file.path);
    file.open(lineCount == 0 ? MODE_CREATE : MODE_APPEND);
    if (file.fp == nullptr)
        return;
    timeval now;
    gettimeofday(&now, nullptr);
    file.printf("%s %s(sec=%d)\n", levelConvTbl[level].name, line, static_cast<int>(now.tv_sec));
    if (++lineCount > MAX_LINE_INDEX)
        lineCount = 0;
}

void InitLocalTrace::exportInitLog(InitTraceFile& traceFile)
{
    if (fileName == nullptr || exported || traceFile.isRunning() == 0)
        return;
    InitMMBFile file;
    InitMMBFile::makePath(fileName, file.path);
    file.open(MODE_READ);
    if (file.fp == nullptr)
        return;
    char line[REPLAY_LINE_SIZE];
    for (int i = 0; i < lineCount && fgets(line, sizeof line, file.fp) != nullptr; ++i) {
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
    exported = true;
}
