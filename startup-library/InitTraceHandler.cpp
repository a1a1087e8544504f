#include "InitTraceHandler.h"

#include "InitLocalTrace.h"
#include "InitMMBFile.h"
#include "InitTraceFile.h"
#include "lmsg.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr int LEVEL_COUNT = 3;  // RUN#, DBG#, DVT#

} // namespace

InitTraceHandler* InitTraceHandler::instance = nullptr;

InitTraceHandler* InitTraceHandler::getInstance()
{
    if (instance == nullptr) {
        // The sinks too, so that a trace from a signal handler never creates
        // a singleton the interrupted code may be creating.
        InitLocalTrace::getInstance();
        InitTraceFile::getInstance();
        instance = new InitTraceHandler();
        // Said once, where a program's traces begin.
        if (InitMMBFile::isDebugPathIgnored())
            instance->output(20003, 0, "MMB_DEBUG_PATH ignored: shell metacharacters");
    }
    return instance;
}

void InitTraceHandler::outputf(int messageNo, int level, const char* format, ...)
{
    char text[TEXT_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    output(messageNo, level, text);
}

void InitTraceHandler::output(int messageNo, int level, const char* text)
{
    output(messageNo, level, text, "");
}

void InitTraceHandler::output(int messageNo, int level, const char* text1, const char* text2)
{
    char line[LINE_SIZE];
    lmsg_getmsg(messageNo, line, text1, text2);
    outputTrace(line, level);
}

void InitTraceHandler::output(int messageNo, int level, const char* text, int value)
{
    char line[LINE_SIZE];
    lmsg_getmsg(messageNo, line, text, value);
    outputTrace(line, level);
}

void InitTraceHandler::outputTrace(const char* line, int level)
{
    if (level < 0 || level >= LEVEL_COUNT)
        return;  // no sink has a name or service level for it
    InitLocalTrace* local = InitLocalTrace::getInstance();
    local->put(level, line);
    if (traceId < SERVICE_ID_MIN)
        return;
    InitTraceFile* service = InitTraceFile::getInstance();
    if (local->exported)
        service->put(level, line, traceId);
    else
        local->exportInitLog(*service);
}
