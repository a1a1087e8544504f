#include "InitTraceHandler.h"

#include "InitLocalTrace.h"
#include "InitMMBFile.h"
#include "InitTraceFile.h"
#include "lmsg.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr int LEVEL_COUNT = 3;  // RUN#, DBG#, DVT#

// The signals whose library handlers trace: the start signal and the
// mode-change request.
sigset_t tracingSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

void toSinks(const char* line, int level, int traceId)
{
    InitLocalTrace* local = InitLocalTrace::getInstance();
    local->put(level, line);
    if (traceId < InitTraceHandler::SERVICE_ID_MIN)
        return;
    InitTraceFile* service = InitTraceFile::getInstance();
    if (local->exported)
        service->put(level, line, traceId);
    else
        local->exportInitLog(*service);
}

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
    if (InitLocalTrace::getInstance()->fileName == nullptr && traceId < SERVICE_ID_MIN)
        return;  // both sinks off, as in nvram: nothing to hold signals for
    // A handler that traces waits until this line is out: interrupting it,
    // its own line would cut into the local file's count and truncation,
    // or replay the file a second time.
    sigset_t blocked = tracingSignals();
    sigset_t saved;
    sigprocmask(SIG_BLOCK, &blocked, &saved);
    toSinks(line, level, traceId);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
}
