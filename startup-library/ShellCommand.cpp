#include "ShellCommand.h"

#include "ClaimedPath.h"
#include "InitTraceHandler.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int COMMAND_SIZE = 256;

struct Outcome {
    int raw;     // result of system()
    int status;  // the command's exit code as the shell reports it
};

// Formats and traces the command; false when it does not fit.
__attribute__((format(printf, 2, 0))) bool prepare(char (&command)[COMMAND_SIZE], const char* format, va_list args)
{
    InitTraceHandler* trace = InitTraceHandler::getInstance();
    int length = vsnprintf(command, COMMAND_SIZE, format, args);
    if (length < 0 || length >= COMMAND_SIZE) {
        trace->output(20011, 0, "command too long", length);
        return false;
    }
    trace->outputf(20001, 1, "\"%s\"", command);
    return true;
}

__attribute__((format(printf, 2, 0))) Outcome run(char (&command)[COMMAND_SIZE], const char* format, va_list args)
{
    if (!prepare(command, format, args))
        return {-1, COMMAND_NOT_RUN};
    int raw = system(command);
    return {raw, (raw >> 8) & 0xFF};
}

} // namespace

int execCommand(const char* format, ...)
{
    char command[COMMAND_SIZE];
    va_list args;
    va_start(args, format);
    Outcome outcome = run(command, format, args);
    va_end(args);
    if (outcome.status != 0) {
        InitTraceHandler::getInstance()->output(20011, 0, command);
        exit(1);
    }
    return outcome.raw;
}

namespace {

// The exit status of a command run for a caller that decides what it means.
__attribute__((format(printf, 1, 0))) int statusOf(const char* format, va_list args)
{
    char command[COMMAND_SIZE];
    return run(command, format, args).status;
}

} // namespace

int execCommandNoDown(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = statusOf(format, args);
    va_end(args);
    return status;
}

int execCommand_retExitCode(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = statusOf(format, args);
    va_end(args);
    return status;
}

namespace {

// Runs the command only once claim has made the path it writes ours; a
// failed claim keeps the command's trace and is traced itself.
__attribute__((format(printf, 3, 0))) int runClaimed(bool (*claim)(const char*), const char* claimed,
                                                     const char* format, va_list args)
{
    char command[COMMAND_SIZE];
    if (!prepare(command, format, args))
        return COMMAND_NOT_RUN;
    if (!claim(claimed)) {
        traceClaimFailure(claimed);
        return COMMAND_NOT_RUN;
    }
    int raw = system(command);
    return (raw >> 8) & 0xFF;
}

} // namespace

int execClaimedCommand(const char* claimed, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = runClaimed(claimFile, claimed, format, args);
    va_end(args);
    return status;
}

int execWorkFileCommand(const char* workFile, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int status = runClaimed(claimNewFile, workFile, format, args);
    va_end(args);
    return status;
}
