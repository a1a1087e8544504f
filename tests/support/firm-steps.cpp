// Runs firmware-update operations of the start-up library, in the order
// given, in one process on a simulated board, then prints the state they
// leave in memory:
//   firm-steps copyFirm setFirmUpInfo
//   firm-steps setFirmUpRecovery
//   firm-steps generateBootChg=1
//   firm-steps setDownLog
//   firm-steps flush
// The steps' traces go to /tmp/trace.log on the board.
#include "InitErrorLog.h"
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool runStep(InitMMBFirm& firm, const char* step)
{
    if (std::strcmp(step, "copyFirm") == 0)
        firm.copyFirm();
    else if (std::strcmp(step, "setFirmUpInfo") == 0)
        firm.setFirmUpInfo();
    else if (std::strcmp(step, "setFirmUpRecovery") == 0)
        firm.setFirmUpRecovery();
    else if (std::strncmp(step, "generateBootChg=", 16) == 0)
        firm.generateBootChg(static_cast<unsigned char>(std::atoi(step + 16)));
    else if (std::strcmp(step, "setDownLog") == 0)  // the record of a daemon that died of signal 11 with a core
        firm.setDownLog(new InitErrorLog(1, firm.mmbId, 9, 5, 2, 0, 0x8B, 0));
    else if (std::strcmp(step, "flush") == 0)
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
    for (int i = 1; i < argc; ++i) {
        if (!runStep(firm, argv[i])) {
            std::fprintf(stderr, "firm-steps: unknown step '%s'\n", argv[i]);
            return 2;
        }
    }
    std::printf("norCopyError=%d nandCopyError=%d bootRomChange=%d bootRomChangeResult=%d prevFirmChange=%d\n",
                firm.norCopyError, firm.nandCopyError, firm.header.bootRomChange, firm.initError.bootRomChangeResult,
                firm.initError.prevFirmChange);
    return 0;
}
