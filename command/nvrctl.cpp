#include "nvrctl.h"

#include "InitErrorLog.h"
#include "NVRAMHandler.h"
#include "NVRCmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* OPTIONS = "is:m:b:e:adpru:g:h";
constexpr int HCP_COUNT = 2;
constexpr int NVRAM_PARTITIONS = 4;

int checkBelow(int n, int limit)
{
    if (static_cast<unsigned>(n) < static_cast<unsigned>(limit))
        return n;
    puts("Invalid parameter specified.");
    return -1;
}

NVRCmd* newCommand(int cmdNo, int intParam)
{
    NVRCmd* cmd = new NVRCmd();
    cmd->cmdNo = cmdNo;
    cmd->intParam = intParam;
    return cmd;
}

// A checked number gives command cmdNo, a failed check the usage text.
NVRCmd* numberCommand(int cmdNo, int checked)
{
    return checked < 0 ? newCommand(NVRAMHandler::CMD_HELP, 0) : newCommand(cmdNo, checked);
}

// -m and -u take the word after their number; without one the command is
// incomplete and shows the usage text. Longer words are cut to 15 characters.
NVRCmd* wordCommand(int cmdNo, int checked, int argc, char** argv)
{
    if (checked < 0 || optind >= argc)
        return newCommand(NVRAMHandler::CMD_HELP, 0);
    const char* word = argv[optind];
    if (cmdNo == NVRAMHandler::CMD_UPDATE_MODE && strcmp(word, "updating") != 0 && strcmp(word, "normal") != 0)
        return newCommand(NVRAMHandler::CMD_HELP, 0);
    NVRCmd* cmd = newCommand(cmdNo, checked);
    snprintf(cmd->strParam, sizeof cmd->strParam, "%s", word);
    return cmd;
}

NVRCmd* commandFor(int option, int argc, char** argv)
{
    switch (option) {
    case 'i':
        return newCommand(NVRAMHandler::CMD_INIT, 0);
    case 'a':
        return newCommand(NVRAMHandler::CMD_APPLY, 0);
    case 'd':
        return newCommand(NVRAMHandler::CMD_DISPLAY, 0);
    case 'p':
        return newCommand(NVRAMHandler::CMD_REVISION, 0);
    case 'r':
        return newCommand(NVRAMHandler::CMD_RESET_SUPPRESS, 0);
    case 's':
        return numberCommand(NVRAMHandler::CMD_SELECT_HCP, checkHCPNo(atoi(optarg)));
    case 'b':
        return numberCommand(NVRAMHandler::CMD_SELECT_BOOT, checkHCPNo(atoi(optarg)));
    case 'g':
        return numberCommand(NVRAMHandler::CMD_CHECKSUM, checkNVRAMPartNo(atoi(optarg)));
    case 'e':
        return numberCommand(NVRAMHandler::CMD_INIT_PARTITION, checkNVRAMPartNo(atoi(optarg)));
    case 'm':
        return wordCommand(NVRAMHandler::CMD_REVISION_TEXT, checkHCPNo(atoi(optarg)), argc, argv);
    case 'u':
        return wordCommand(NVRAMHandler::CMD_UPDATE_MODE, checkHCPNo(atoi(optarg)), argc, argv);
    default:
        return newCommand(NVRAMHandler::CMD_HELP, 0);
    }
}

} // namespace

int checkHCPNo(int n)
{
    return checkBelow(n, HCP_COUNT);
}

int checkNVRAMPartNo(int n)
{
    return checkBelow(n, NVRAM_PARTITIONS);
}

NVRCmd* parseCmdLine(int argc, char** argv)
{
    NVRCmd* cmd = nullptr;
    for (int option; (option = getopt(argc, argv, OPTIONS)) > 0;) {
        NVRCmd* next = commandFor(option, argc, argv);
        delete cmd;
        cmd = next;
    }
    return cmd != nullptr ? cmd : newCommand(NVRAMHandler::CMD_DISPLAY, 0);
}

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
