// Runs network service operations of the start-up library, in the order
// given, in one process on a simulated board, then prints each listed
// service's script path and state:
//   net-steps initialize start start stop
//   net-steps mode=standby initialize start toggle=/etc/init.d/lighttpd
//   net-steps activating initialize start
// Steps: initialize, start, stop, toggle=PATH, mode=active|standby,
// activating (sets the manager's flag). A record thrown by a step is
// printed and the next step runs. The library's traces go to TRACE_FILE.
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitNetService.h"
#include "InitNetServiceMGR.h"
#include "StepDriver.h"

#include <cerrno>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

const char* const TRACE_FILE = "/tmp/net-steps.trace";

bool runStep(InitNetServiceMGR& manager, const std::string& step)
{
    if (step == "initialize")
        manager.initialize();
    else if (step == "start")
        manager.start();
    else if (step == "stop")
        manager.stop();
    else if (step.rfind("toggle=", 0) == 0)
        manager.toggleStatus(step.c_str() + 7);
    else if (step == "mode=active")
        InitMMBFirm::getInstance()->setActiveMode(0);
    else if (step == "mode=standby")
        InitMMBFirm::getInstance()->setActiveMode(1);
    else if (step == "activating")
        manager.activating = true;
    else
        return false;
    return true;
}

// Background init scripts outlive the shell that started them; as their
// subreaper this process collects them, so that every script has run and
// recorded its call before the next step begins.
void reapBackgroundScripts()
{
    std::fflush(stdout);  // before the scripts' own output
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
    auto step = [&manager](const std::string& text) { return runStep(manager, text); };
    if (runSteps("net-steps", argc, argv, step, reapBackgroundScripts) != 0)
        return 2;
    for (const InitNetService* service : manager.services)
        std::printf("%s %s\n", service->scriptPath, service->started ? "started" : "stopped");
    return 0;
}
