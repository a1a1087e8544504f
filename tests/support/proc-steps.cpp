// Runs process-supervision operations of the start-up library, in the order
// given, in one process on a simulated board, printing what ends them.
// Traces go to /tmp/trace.log on the board.
//   proc-steps table=0,/etc/mmb/init/standing.ctl activate monitor
//   proc-steps standby change-requested orphan activate monitor
//   proc-steps decide enable services activate cause monitor
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"
#include "InitMMBProcessMGR.h"
#include "InitNetServiceMGR.h"
#include "ThrownRecord.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// A child of this process that is in neither process list, and dies.
void startOrphan()
{
    if (fork() == 0)
        _exit(0);
}

// As if dualprocess had sent its SIGHUP.
void requestChange()
{
    InitMMBOther* other = InitMMBOther::getInstance();
    other->enableChgModeReq();
    other->chgState = InitMMBOther::CHG_REQUESTED;
}

bool runStep(InitMMBProcessMGR& manager, const std::string& step)
{
    if (step.rfind("table=", 0) == 0 && step.size() > 8 && step[7] == ',')
        manager.create(step[6] - '0', step.c_str() + 8);
    else if (step == "activate")
        manager.activate();
    else if (step == "monitor")
        manager.startMonitoring();
    else if (step == "standby")
        InitMMBFirm::getInstance()->activeMode = 1;
    else if (step == "orphan")
        startOrphan();
    else if (step == "change-requested")
        requestChange();
    else if (step == "decide")  // the peer-board logic's first operation
        InitMMBOther::getInstance()->decide(false, 0);
    else if (step == "enable")
        InitMMBOther::getInstance()->enableChgModeReq();
    else if (step == "cause")  // one look for a mode change, as each monitoring pass takes
        InitMMBOther::getInstance()->causeChgExp(false);
    else if (step == "services")  // the services the monitoring loop toggles
        InitNetServiceMGR::getInstance()->initialize();
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    InitLocalTrace::getInstance()->fileName = "/tmp/trace.log";
    InitMMBFirm::getInstance()->initialize();
    InitMMBProcessMGR& manager = *InitMMBProcessMGR::getInstance();
    for (int i = 1; i < argc; ++i) {
        try {
            if (!runStep(manager, argv[i])) {
                std::fprintf(stderr, "proc-steps: bad step '%s'\n", argv[i]);
                return 2;
            }
        } catch (InitErrorLog* record) {
            printThrownRecord(*record);
            delete record;
            return 0;
        } catch (const char* order) {
            std::printf("thrown %s\n", order);
            return 0;
        }
    }
    std::printf("done started=%u\n", manager.startedCount);
    return 0;
}
