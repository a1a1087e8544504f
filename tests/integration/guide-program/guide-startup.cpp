// A board's start-up program as the integration guide (docs/integrating.md)
// builds it: judge the boot (recording a watchdog expiry), start the daemons
// of the process table and the network services, then supervise for good.
// Any error record becomes the down log and reboots the board; a reboot
// that fails leaves it supervised. A mode-change order is only traced here
// (one board).
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBBootROM.h"
#include "InitMMBFirm.h"
#include "InitMMBOther.h"
#include "InitMMBProcessMGR.h"
#include "InitMMBStorage.h"
#include "InitMMBWatchDogTimer.h"
#include "InitNetServiceMGR.h"
#include "StartupProgram.h"

#include <cstdio>

void recordWatchdogExpiry(InitMMBFirm& firm)
{
    // Recorded as an error log file, then cleared: the next start does not record it again.
    InitMMBBootROM& bootRom = *InitMMBBootROM::getInstance();
    try {
        bootRom.initialize();  // reads the watchdog error flag
        if (bootRom.wdtErrorAtBoot)
            InitMMBWatchDogTimer::getInstance()->resetWdtError();
    } catch (InitErrorLog* record) {
        firm.setWarning(record);
    }
}

void traceOrder(const char* order)
{
    std::printf("mode change ordered: %s\n", order);
    std::fflush(stdout);
}

int main()
{
    InitLocalTrace::getInstance()->fileName = "/tmp/guide.log";
    InitMMBStorage::tidy();  // the core pattern, stray cores, the newest 100 records of each kind
    InitMMBFirm& firm = *InitMMBFirm::getInstance();
    try {
        firm.initialize();  // judges the boot cause
        std::printf("boot cause %s\n", firm.bootCause == InitMMBFirm::REBOOT ? "REBOOT" : "AC-ON");
        std::fflush(stdout);
        recordWatchdogExpiry(firm);  // before resetPowerOnFlag, which clears the flag
        firm.resetPowerOnFlag();     // the next start is a reboot unless the power goes
        firm.setActiveMode(InitMMBOther::getInstance()->decide(false, 0));

        InitMMBProcessMGR& processes = *InitMMBProcessMGR::getInstance();
        processes.activate();  // the daemons of /etc/mmb/init/pro_file.ctl
        requireDaemons();      // none: a fatal start-up error, not an idle loop

        InitNetServiceMGR& services = *InitNetServiceMGR::getInstance();
        services.initialize();
        try {
            services.start();
        } catch (InitErrorLog* record) {
            firm.setWarning(record);  // a service that fails does not stop the board
        }
    } catch (InitErrorLog* record) {
        rebootForRecord(record);  // down log and reboot; returns only if the reboot failed
    }
    superviseForever(traceOrder);  // never returns: the board is never left unsupervised
}
