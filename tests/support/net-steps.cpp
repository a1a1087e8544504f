// Runs network service operations of the start-up library, in the order
// given, in one process on a simulated board, then prints each listed
// service's script path and state:
//   net-steps initialize start start stop
//   net-steps mode=standby initialize start toggle=/etc/init.d/lighttpd
//   net-steps activating initialize start
// Steps: initialize, start, stop, toggle=PATH, mode=active|standby,
// activating (sets the manager's flag). A record thrown by a step is
// printed as "thrown 01 f0 29 07 01 00 00 00" (kind, unit code, code bytes)
// and the next step runs. The library's traces go to TRACE_FILE.
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitNetService.h"
#include "InitNetServiceMGR.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

const char* const TRACE_FILE = "/tmp/net-steps.trace";

bool runStep(InitNetServiceMGR& manager, const char* step)
{
    if (std::strcmp(step, "initialize") == 0)
        manager.initialize();
    else if (std::strcmp(step, "start") == 0)
        manager.start();
    else if (std::strcmp(step, "stop") == 0)
        manager.stop();
    else if (std::strncmp(step, "toggle=", 7) == 0)
        manager.toggleStatus(step + 7);
    else if (std::strcmp(step, "mode=active") == 0)
        InitMMBFirm::getInstance()->setActiveMode(0);
    else if (std::strcmp(step, "mode=standby") == 0)
        InitMMBFirm::getInstance()->setActiveMode(1);
    else if (std::strcmp(step, "activating") == 0)
        manager.activating = true;
    else
        return false;
    return true;
}

void printRecord(const InitErrorLog& record)
{
    uint8_t saved[InitErrorLog::SAVED_SIZE];
    record.pack(saved);
    std::printf("thrown");
    for (int i = 8; i < InitErrorLog::SAVED_SIZE; ++i)  // after the time stamp
        std::printf(" %02x", saved[i]);
    std::printf("\n");
}

// Background init scripts outlive the shell that started them; as their
// subreaper this process collects them, so that every script has run and
// recorded its call before the next step begins.
void reapBackgroundScripts()
{
    while (wait(nullptr) > 0 || errno == EINTR) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    InitMMBFirm::getInstance()->initialize();
    InitLocalTrace::getInstance()->fileName = TRACE_FILE;
    InitNetServiceMGR& manager = *InitNetServiceMGR::getInstance();
    for (int i = 1; i < argc; ++i) {
        try {
            if (!runStep(manager, argv[i])) {
                std::fprintf(stderr, "net-steps: unknown step '%s'\n", argv[i]);
                return 2;
            }
        } catch (InitErrorLog* record) {
            printRecord(*record);
            delete record;
        }
        std::fflush(stdout);
        reapBackgroundScripts();
    }
    for (const InitNetService* service : manager.services)
        std::printf("%s %s\n", service->scriptPath, service->started ? "started" : "stopped");
    return 0;
}
