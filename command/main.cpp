// nvram: parses the command line, loads the firmware state and runs one
// handler. Exit status 1 when an exception leaves parsing or the handler.
#include "InitErrorLog.h"
#include "NVRAMHandler.h"
#include "NVRCmd.h"
#include "nvrctl.h"

int main(int argc, char** argv)
{
    NVRCmd* cmd = nullptr;
    try {
        cmd = parseCmdLine(argc, argv);
        NVRAMHandler handler;
        handler.start(*cmd);
        delete cmd;
        return 0;
    } catch (InitErrorLog* record) {
        delete record;
    } catch (...) {
    }
    delete cmd;
    return 1;
}
