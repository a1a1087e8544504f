#include "nvrctl.h"

#include "NVRAMHandler.h"
#include "NVRCmd.h"

#include <climits>
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

// An option's number as atoi reads it (text that is no number gives 0), but
// a number beyond int is refused: atoi would wrap it around on a 64-bit
// long, so that 4294967297 selected HCP 1.
int optionNumber(const char* text)
{
    long value = strtol(text, nullptr, 10);
    return value < INT_MIN || value > INT_MAX ? -1 : static_cast<int>(value);
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
        return numberCommand(NVRAMHandler::CMD_SELECT_HCP, checkHCPNo(optionNumber(optarg)));
    case 'b':
        return numberCommand(NVRAMHandler::CMD_SELECT_BOOT, checkHCPNo(optionNumber(optarg)));
    case 'g':
        return numberCommand(NVRAMHandler::CMD_CHECKSUM, checkNVRAMPartNo(optionNumber(optarg)));
    case 'e':
        return numberCommand(NVRAMHandler::CMD_INIT_PARTITION, checkNVRAMPartNo(optionNumber(optarg)));
    case 'm':
        return wordCommand(NVRAMHandler::CMD_REVISION_TEXT, checkHCPNo(optionNumber(optarg)), argc, argv);
    case 'u':
        return wordCommand(NVRAMHandler::CMD_UPDATE_MODE, checkHCPNo(optionNumber(optarg)), argc, argv);
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
