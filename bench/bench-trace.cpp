// Issues traces through the start-up library's trace handler with the sinks
// as MODE says, so that bench/run.sh can measure the trace path:
//   off      nothing assigned, as in nvram: each line formatted, then dropped
//   file     the local trace file on
//   service  the local trace file on and a trace id above 256: the file is
//            replayed once, then every line also goes live to the trace
//            service (which must listen on its socket)
// Usage: bench-trace off|file|service COUNT   (MMB_DEBUG_PATH names the tree)
#include "InitLocalTrace.h"
#include "InitTraceHandler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int LIVE_TRACE_ID = 0x1234;  // above 256: the service sink is on

bool configure(const char* mode)
{
    if (std::strcmp(mode, "off") == 0)
        return true;
    InitLocalTrace::getInstance()->fileName = "/bench.trace";
    if (std::strcmp(mode, "file") == 0)
        return true;
    InitTraceHandler::getInstance()->traceId = LIVE_TRACE_ID;
    return std::strcmp(mode, "service") == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || !configure(argv[1])) {
        std::fprintf(stderr, "usage: bench-trace off|file|service COUNT\n");
        return 2;
    }
    long count = std::strtol(argv[2], nullptr, 10);
    InitTraceHandler* handler = InitTraceHandler::getInstance();
    for (long i = 0; i < count; ++i)
        handler->outputf(20001, 1, "steady trace number %ld of the run", i);
    return 0;
}
