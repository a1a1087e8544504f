#include "InitNetService.h"

#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"

namespace {

constexpr int ERROR_KIND = 1;

} // namespace

InitNetService::InitNetService(const char* path, const char* name, unsigned char number, bool isForeground)
    : scriptPath(path), dispName(name), serviceNo(number), traceHandler(InitTraceHandler::getInstance()),
      foreground(isForeground)
{
}

void InitNetService::start()
{
    if (foreground)
        startLine(started ? "%s restart" : "%s start");
    else
        startLine(started ? "%s restart &" : "%s start &");
}

void InitNetService::stop()
{
    if (started)
        stopLine("%s stop");
}

void InitNetService::startLine(const char* format)
{
    if (execJudge() == 0 && !toggling) {
        if (started)
            stop();
        return;
    }
    run(format, START_FAILED);
    started = true;
}

void InitNetService::stopLine(const char* format)
{
    run(format, STOP_FAILED);
    started = false;
}

void InitNetService::run(const char* format, unsigned char operation)
{
    traceHandler->output(20001, 1, dispName);
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(scriptPath, path);
    // Every format comes from this class or a subclass and holds one "%s".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int result = execCommandNoDown(format, path);
#pragma GCC diagnostic pop
    if (result != 0)
        throw new InitErrorLog(ERROR_KIND, InitMMBFirm::getInstance()->mmbId, SERVICE_ERROR, serviceNo, operation,
                               0, 0, 0);
}
