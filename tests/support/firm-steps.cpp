// Runs firmware-update operations of the start-up library, in the order
// given, in one process on a simulated board, then prints the state they
// leave in memory:
//   firm-steps copyFirm setFirmUpInfo
//   firm-steps compare compare        (prints each compare's result: "compare=1")
//   firm-steps forget-work-files compare   (the compare's work files removed first)
//   firm-steps setFirmUpRecovery
//   firm-steps generateBootChg=1
//   firm-steps setDownLog
//   firm-steps flush
// The steps' traces go to /tmp/trace.log on the board.
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"
#include "StepDriver.h"

#include <cstdio>
#include <cstdlib>

namespace {

void forgetWorkFiles()
{
    for (const char* file : {"/tmp/nor0", "/tmp/worknor"})
        std::remove(file);
}

bool runStep(InitMMBFirm& firm, const std::string& step)
{
    if (step == "copyFirm")
        firm.copyFirm();
    else if (step == "forget-work-files")
        forgetWorkFiles();
    else if (step == "compare")
        std::printf("compare=%d\n", firm.checkNVRAM_NORVersion());
    else if (step == "setFirmUpInfo")
        firm.setFirmUpInfo();
    else if (step == "setFirmUpRecovery")
        firm.setFirmUpRecovery();
    else if (step.rfind("generateBootChg=", 0) == 0)
        firm.generateBootChg(static_cast<unsigned char>(std::atoi(step.c_str() + 16)));
    else if (step == "setDownLog")  // the record of a daemon that died of signal 11 with a core
        firm.setDownLog(new InitErrorLog(1, firm.mmbId, 9, 5, 2, 0, 0x8B, 0));
    else if (step == "flush")
        firm.flush();
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    InitMMBFirm& firm = *InitMMBFirm::getInstance();
    firm.initialize();
    InitLocalTrace::getInstance()->fileName = "/tmp/trace.log";  // the steps' traces only
    if (runSteps("firm-steps", argc, argv, [&firm](const std::string& step) { return runStep(firm, step); }) != 0)
        return 2;
    std::printf("norCopyError=%d nandCopyError=%d bootRomChange=%d bootRomChangeResult=%d prevFirmChange=%d\n",
                firm.norCopyError, firm.nandCopyError, firm.header.bootRomChange, firm.initError.bootRomChangeResult,
                firm.initError.prevFirmChange);
    return 0;
}
