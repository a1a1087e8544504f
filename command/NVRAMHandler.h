// The nvram command's dispatcher and its twelve handlers. Every command
// first loads the firmware state, then runs the handler of its row.
#ifndef NVRAM_HANDLER_H
#define NVRAM_HANDLER_H

struct NVRCmd;

class NVRAMHandler {
public:
    // Rows of the dispatch table.
    enum Command {
        CMD_INIT = 0,            // -i
        CMD_SELECT_HCP = 1,      // -s hcpno
        CMD_REVISION_TEXT = 2,   // -m hcpno hcprev
        CMD_APPLY = 3,           // -a
        CMD_DISPLAY = 4,         // -d, or no option
        CMD_REVISION = 5,        // -p
        CMD_RESET_SUPPRESS = 6,  // -r
        CMD_SELECT_BOOT = 7,     // -b bankno
        CMD_UPDATE_MODE = 8,     // -u hcpno updating|normal
        CMD_CHECKSUM = 9,        // -g partno
        CMD_INIT_PARTITION = 10, // -e partno
        CMD_HELP = 11,           // -h, or bad input
        COMMAND_COUNT
    };

    int start(NVRCmd& cmd);
    int execCmd(int cmdNo, int intParam, char* strParam);

    static int initNVR(int, char*);
    static int selectHCP(int hcpNo, char*);
    static int writeHCPRevsion(int hcpNo, char* revision);
    static int applyHCP(int, char*);
    static int displayFirmInfo(int, char*);
    static int displayRevision(int, char*);
    static int resetSuppress(int, char*);
    static int selectBoot(int bankNo, char*);
    static int setUpdateMode(int hcpNo, char* word);
    static int generateChecksum(int partition, char*);
    static int initializeNVRAM(int partition, char*);
    static int displayHelp(int, char*);
    // Reads the revision of flash file system fmemNo into the 11-byte rev.
    static void getFMEMRevision(int fmemNo, char* rev);

private:
    using Handler = int (*)(int, char*);
    static const Handler table[COMMAND_COUNT];
};

#endif
