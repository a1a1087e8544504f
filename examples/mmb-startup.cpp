// The reference start-up program of a board: brings the board up with the
// start-up library and supervises it until it must reboot. It is the user
// of the library that drives its entry operations and catches what they
// throw:
//   - an InitErrorLog* from a start step or from supervision is fatal: a
//     firmware update that has not come up is rolled back, the record
//     becomes the NVRAM down log and the board reboots; a reboot that fails
//     leaves the board supervised, never without its start-up program;
//   - one from a network service is a warning (an error log file), and the
//     board goes on;
//   - "ACTIVATE" / "INACTIVATE" order a mode change, carried out here.
// Traces go to the local trace file /tmp/mmbinit.log. Each start and each
// mode change is recorded in the board history, with a copy of the trace.
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBBootROM.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "InitMMBOther.h"
#include "InitMMBProcessMGR.h"
#include "InitMMBStorage.h"
#include "InitMMBWatchDogTimer.h"
#include "InitNetServiceMGR.h"
#include "InitTraceHandler.h"
#include "NvramLayout.h"
#include "StartupProgram.h"

namespace {

constexpr int TRACE_ID = 257;  // the start-up's id at the board trace service
const char* const LOCAL_TRACE = "/tmp/mmbinit.log";
const char* const STANDING_TABLE = "/etc/mmb/init/pro_standing.ctl";  // daemons of every mode
constexpr int ACTIVE = 0;
constexpr int STANDBY = 1;

InitMMBFirm& firm()
{
    return *InitMMBFirm::getInstance();
}

InitMMBOther& other()
{
    return *InitMMBOther::getInstance();
}

InitMMBProcessMGR& processes()
{
    return *InitMMBProcessMGR::getInstance();
}

int modeOrdered(const char* order)
{
    return order == InitMMBOther::MODE_CHG_ACTIVATE ? ACTIVE : STANDBY;
}

// A watchdog expiry the boot ROM logic recorded is cleared, so that the
// next start does not record it again.
void clearWatchdogError()
{
    try {
        InitMMBWatchDogTimer::getInstance()->resetWdtError();
    } catch (InitErrorLog* record) {
        firm().setWarning(record);
    }
}

// Firmware state, boot ROM bank and the provisional mode. The boot ROM
// logic reads the watchdog error flag before any write of the reset type
// register: resetPowerOnFlag writes the flag back, which clears it.
void judgeBoot()
{
    InitMMBStorage::tidy();  // before this boot writes anything: cores, older records
    firm().initialize();
    InitMMBBootROM& bootRom = *InitMMBBootROM::getInstance();
    try {
        bootRom.initialize();
    } catch (InitErrorLog* record) {
        firm().setWarning(record);
    }
    if (bootRom.wdtErrorAtBoot)
        clearWatchdogError();
    firm().resetPowerOnFlag();  // seen: the next start is a reboot
    if (firm().header.firmUpMode == nvram::FIRMUP_APPLY)
        firm().generateBootChg(bootRom.bankNo);  // did the new boot program start?
    firm().setActiveMode(other().decide(false, 0));
    InitMMBHistory::append(InitMMBHistory::START, InitMMBHistory::PROVISIONAL);
}

// The final decision arrives as an order when it differs from the provisional one.
void decideMode()
{
    char none[] = "";
    try {
        other().open(none, none, none);
    } catch (const char* order) {
        firm().setActiveMode(modeOrdered(order));
    }
    InitMMBHistory::append(InitMMBHistory::MODE, InitMMBHistory::FINAL);
}

// A service that fails to start does not stop the board.
void startServices(bool activating)
{
    InitNetServiceMGR& services = *InitNetServiceMGR::getInstance();
    services.activating = activating;
    try {
        services.start();
    } catch (InitErrorLog* record) {
        firm().setWarning(record);
    }
    services.activating = false;
}

// The new firmware has come up: the standby flashes get a copy and the
// update is committed. A rolled back update is recorded and closed.
void completeFirmwareUpdate()
{
    if (firm().header.firmUpMode == nvram::FIRMUP_APPLY)
        firm().copyFirm();
    firm().setFirmUpInfo();
}

void startBoard()
{
    InitNetServiceMGR::getInstance()->initialize();
    processes().create(0, STANDING_TABLE);  // dualprocess among them
    processes().activate();                 // the process table /etc/mmb/init/pro_file.ctl
    requireDaemons();
    other().setPid();
    decideMode();
    other().enableChgModeReq();
    startServices(false);
    completeFirmwareUpdate();
    other().putErrorLog(firm().initError);  // for the other board to fetch
    other().sendReady();
}

void changeMode(const char* order)
{
    int mode = modeOrdered(order);
    firm().setActiveMode(mode);
    // Becoming Active, the change-start response goes out after the
    // services setup; becoming Standby stops the Active-only services.
    startServices(mode == ACTIVE);
    if (mode == ACTIVE)
        processes().activate();
    else
        processes().inactivate();
    other().waitSwitchComp();
    other().sendChangeCompResp();
    InitMMBHistory::append(InitMMBHistory::MODE, InitMMBHistory::ORDERED);
}

} // namespace

int main()
{
    InitLocalTrace::getInstance()->fileName = LOCAL_TRACE;
    InitTraceHandler::getInstance()->traceId = TRACE_ID;
    try {
        judgeBoot();
        startBoard();
    } catch (InitErrorLog* record) {
        rebootForRecord(record);
    }
    superviseForever(changeMode);
}
