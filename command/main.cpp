// nvram: parses the command line, loads the firmware state and runs one
// handler. Exit status 1 when an exception leaves parsing or the handler.
#include "InitErrorLog.h"
#include "NVRAMHandler.h"
#include "NVRCmd.h"
#include "nvrctl.h"

#include <memory>

int main(int argc, char** argv)
{
    try {
        std::unique_ptr<NVRCmd> cmd(parseCmdLine(argc, argv));
        NVRAMHandler handler;
        handler.start(*cmd);
        return 0;
    } catch (InitErrorLog* record) {  // GCOVR_EXCL_BR_LINE: anything else is memory exhaustion
        delete record;                // GCOVR_EXCL_BR_LINE: delete's own test; no null record is thrown
    } catch (...) {
    }
    return 1;
}
