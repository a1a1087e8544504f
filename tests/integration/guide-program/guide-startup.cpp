// A board's start-up program as the integration guide (docs/integrating.md)
// builds it: judge the boot, start the daemons of the process table and the
// network services, then supervise. Any error record ends it with a down log
// and a reboot request; a mode-change order is only traced here (one board).
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"
#include "InitMMBProcessMGR.h"
#include "InitMMBStorage.h"
#include "InitNetServiceMGR.h"
#include "ShellCommand.h"

#include <cstdio>

int main()
{
    InitLocalTrace::getInstance()->fileName = "/tmp/guide.log";
    InitMMBStorage::tidy();  // the core pattern, stray cores, the newest 100 records of each kind
    InitMMBFirm& firm = *InitMMBFirm::getInstance();
    try {
        firm.initialize();  // judges the boot cause
        std::printf("boot cause %s\n", firm.bootCause == InitMMBFirm::REBOOT ? "REBOOT" : "AC-ON");
        std::fflush(stdout);
        firm.resetPowerOnFlag();  // the next start is a reboot unless the power goes
        firm.setActiveMode(InitMMBOther::getInstance()->decide(false, 0));

        InitMMBProcessMGR& processes = *InitMMBProcessMGR::getInstance();
        processes.activate();  // the daemons of /etc/mmb/init/pro_file.ctl

        InitNetServiceMGR& services = *InitNetServiceMGR::getInstance();
        services.initialize();
        try {
            services.start();
        } catch (InitErrorLog* record) {
            firm.setWarning(record);  // a service that fails does not stop the board
        }
        for (;;) {
            try {
                processes.startMonitoring();
            } catch (const char* order) {
                std::printf("mode change ordered: %s\n", order);
            }
        }
    } catch (InitErrorLog* record) {
        firm.setDownLog(record);  // takes the record and deletes it
        execCommandNoDown("%s", "/sbin/reboot");
        return 1;
    }
}
