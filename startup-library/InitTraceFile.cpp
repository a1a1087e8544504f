#include "InitTraceFile.h"

#include "ByteOrder.h"
#include "InitMMBFile.h"
#include "mmbtrace.h"

#include <sys/stat.h>

namespace {

// Start-up traces show every shell command root runs: they go only to a
// socket root made, never to one another user bound in the socket folder.
bool isRootSocket(const char* path)
{
    struct stat status;
    return lstat(path, &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == 0;
}

} // namespace

const uint8_t InitTraceFile::level[3] = {0, 200, 100};

InitTraceFile* InitTraceFile::instance = nullptr;

InitTraceFile::InitTraceFile()
{
    InitMMBFile::makePath("/var/mmb/sock/ipcsock04", sockPath);
}

InitTraceFile* InitTraceFile::getInstance()
{
    if (instance == nullptr)
        instance = new InitTraceFile();
    return instance;
}

int InitTraceFile::isRunning()
{
    if (running)
        return 1;
    running = isRootSocket(sockPath);
    return running ? 1 : 0;
}

int InitTraceFile::put(int traceLevel, const char* text, int traceId)
{
    if (isRunning() == 0)
        return 0;
    putBig16(traceHeader + 2, static_cast<uint16_t>(traceId));
    return putMmbTrace(level[traceLevel], traceHeader, text);
}
