#include "NVRAMHandler.h"

#include "ClaimedPath.h"
#include "InitMMBBootROM.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"
#include "NVRCmd.h"
#include "ShellCommand.h"

#include "board_devices.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char* USAGE =
    "nvram { -i | -s next-hcpno | -b next-bankno | -m hcpno hcprev }\n"
    "nvram { -a | -d | -p | | -r | -u hcpno [ updating | normal ] | -h }\n"
    "nvram { -g | -e } partno }\n"
    "-i nvram initialize.\n"
    "-s select next hcp.\n"
    "-m modeify hcp revision.\n"
    "-a apply mmbfirmware.\n"
    "-d display firmware info.\n"
    "-p display firmware Revision (use about 30 seconds).\n"
    "-r reset suppress flag and reboot counter.\n"
    "-b select next bank of bootrom.\n"
    "-u set update mode into HCP partiion.\n"
    "-g generate checksum of specified NVRAM patition.\n"
    "-e initialize specified NVRAM patition.";

// Where -p mounts the flash file system that is not running.
constexpr const char* WORK_DIR = "/tmp/nvrwork";
constexpr const char* REVISION_FILE = "/tmp/nvrwork/opt/mmb/version.dat";

InitMMBFirm& firm()
{
    return *InitMMBFirm::getInstance();
}

// A revision field as text: up to its first NUL, at most 11 characters.
struct RevisionText {
    explicit RevisionText(const char* field) { memcpy(text, field, InitMMBFirm::REV_SIZE); }
    char text[InitMMBFirm::REV_SIZE + 1] = {};
};

// Sends a request without argument to an NVRAM partition's driver and
// reports a failure; false when the partition cannot be opened.
bool partitionRequest(int partition, unsigned long request, char (&path)[16])
{
    snprintf(path, sizeof path, MRAM_DEVICE_FORMAT, partition);
    int fd = open(path, O_RDWR | O_CLOEXEC);
    // Descriptor 0 counts as a failed open, as the command always had it.
    if (fd <= 0)
        return false;  // cppcheck-suppress resourceLeak
    if (ioctl(fd, request, 0) < 0)
        printf("ioctl error(%d)\n", errno);
    close(fd);
    return true;
}

// A firmware file system is mounted there: a link or folder another user
// planted would choose where. When the path cannot be made ours, the run
// ends as it does when the folder cannot be made, with the reason traced.
void claimWorkDirectory()
{
    if (claimDirectory(WORK_DIR))
        return;
    InitTraceHandler* trace = InitTraceHandler::getInstance();
    trace->outputf(20001, 1, "\"%s -p %s\"", "/bin/mkdir", WORK_DIR);
    traceClaimFailure(WORK_DIR);
    trace->outputf(20011, 0, "%s -p %s", "/bin/mkdir", WORK_DIR);
    exit(1);
}

} // namespace

const NVRAMHandler::Handler NVRAMHandler::table[COMMAND_COUNT] = {
    initNVR,         selectHCP,     writeHCPRevsion, applyHCP,         displayFirmInfo,  displayRevision,
    resetSuppress,   selectBoot,    setUpdateMode,   generateChecksum, initializeNVRAM, displayHelp,
};

int NVRAMHandler::start(NVRCmd& cmd)
{
    InitMMBFirm* state = InitMMBFirm::getInstance();
    state->initialize();
    state->setActiveMode(0);
    state->startupFlag = 0;
    return execCmd(cmd.cmdNo, cmd.intParam, cmd.strParam);
}

int NVRAMHandler::execCmd(int cmdNo, int intParam, char* strParam)
{
    return table[cmdNo](intParam, strParam);
}

int NVRAMHandler::initNVR(int, char*)
{
    InitMMBFirm& state = firm();
    state.rebootCount = 0;
    state.suppressMode = 0;
    state.header.firmUpMode = nvram::FIRMUP_NONE;
    state.header.currentHcpNo = 0;
    state.header.nextHcpNo = 0;
    state.header.nextBootRom = state.header.currentBootRom;
    memset(state.header.currentHcpRev, 0, InitMMBFirm::REV_SIZE);
    memset(state.header.nextHcpRev, 0, InitMMBFirm::REV_SIZE);
    return state.flush();
}

int NVRAMHandler::selectHCP(int hcpNo, char*)
{
    firm().header.nextHcpNo = static_cast<uint8_t>(hcpNo);
    return firm().flush();
}

int NVRAMHandler::writeHCPRevsion(int hcpNo, char* revision)
{
    char value[InitMMBFirm::REV_SIZE];
    InitMMBFirm::setRevision(value, revision);
    InitMMBFirm& state = firm();
    bool stored = false;
    if (state.header.currentHcpNo == hcpNo) {
        memcpy(state.header.currentHcpRev, value, sizeof value);
        stored = true;
    }
    if (state.header.nextHcpNo == hcpNo) {
        memcpy(state.header.nextHcpRev, value, sizeof value);
        stored = true;
    }
    return stored ? state.flush() : 0;
}

int NVRAMHandler::applyHCP(int, char*)
{
    firm().header.firmUpMode = nvram::FIRMUP_APPLY;
    firm().flush();
    return execCommand("%s", "/sbin/reboot");
}

int NVRAMHandler::displayFirmInfo(int, char*)
{
    const InitMMBFirm::FirmwareHeader& header = firm().header;
    printf("current hcp no  = %d\n", header.currentHcpNo);
    printf("current hcp rev = %s\n", RevisionText(header.currentHcpRev).text);
    printf("next hcp no     = %d\n", header.nextHcpNo);
    printf("next hcp rev    = %s\n", RevisionText(header.nextHcpRev).text);
    printf("current bootrom = %d\n", header.currentBootRom);
    printf("next bootrom    = %d\n", header.nextBootRom);
    printf("firmup mode     = %x\n", header.firmUpMode);
    printf("reboot count    = %d\n", firm().rebootCount);
    printf("suppress mode   = %d\n", firm().suppressMode);
    printf("part#0 status   = %d\n", header.partStatus[0]);
    return printf("part#1 status   = %d\n", header.partStatus[1]);
}

int NVRAMHandler::displayRevision(int, char*)
{
    char fmem[2][16] = {};
    int running = firm().header.currentHcpNo == 0 ? 0 : 1;
    getFMEMRevision(1 - running, fmem[1 - running]);
    memcpy(fmem[running], firm().header.currentHcpRev, InitMMBFirm::REV_SIZE);
    printf("FMEM#0 hcp rev   = %s\n", fmem[0]);
    return printf("FMEM#1 hcp rev   = %s\n", fmem[1]);
}

void NVRAMHandler::getFMEMRevision(int fmemNo, char* rev)
{
    memset(rev, 0, InitMMBFirm::REV_SIZE);
    claimWorkDirectory();
    execCommand("%s -p %s", "/bin/mkdir", WORK_DIR);
    execCommand("%s -t %s %s %s", "/bin/mount", "jffs2", fmemNo == 0 ? "/dev/mtdblock0" : "/dev/mtdblock1", WORK_DIR);
    // Read as the library reads its own revision file: only a regular file
    // (a FIFO or device there would hang the run or grow it without end),
    // one bounded line; so the work path is always unmounted after it.
    char line[InitMMBFirm::REVISION_LINE_SIZE];
    if (!InitMMBFirm::readRevisionLine(REVISION_FILE, line))
        line[0] = '\0';
    execCommand("%s %s", "/bin/umount", WORK_DIR);
    execCommand("%s %s", "/bin/rmdir", WORK_DIR);
    if (const char* value = strchr(line, '=')) {
        ++value;
        size_t length = strcspn(value, "\n");
        memcpy(rev, value, length < InitMMBFirm::REV_SIZE ? length : InitMMBFirm::REV_SIZE);
        rev[InitMMBFirm::REV_SIZE - 1] = '\0';
    }
}

int NVRAMHandler::resetSuppress(int, char*)
{
    firm().rebootCount = 0;
    firm().suppressMode = 0;
    return firm().flush();
}

int NVRAMHandler::selectBoot(int bankNo, char*)
{
    InitMMBBootROM* bootRom = InitMMBBootROM::getInstance();
    bootRom->initialize();
    bootRom->setBankNo(static_cast<unsigned char>(bankNo));
    firm().header.nextBootRom = static_cast<uint8_t>(bankNo);
    return firm().flush();
}

int NVRAMHandler::setUpdateMode(int hcpNo, char* word)
{
    firm().header.partStatus[hcpNo == 0 ? 0 : 1] = strcmp(word, "updating") == 0 ? 1 : 0;
    return firm().flush();
}

int NVRAMHandler::generateChecksum(int partition, char*)
{
    char path[16];
    if (partitionRequest(partition, MRAM_GENERATE_CHECKSUM, path))
        printf("complete to generate checksum of partition#%d(%s)\n", partition, path);
    return 0;
}

int NVRAMHandler::initializeNVRAM(int partition, char*)
{
    char path[16];
    if (partitionRequest(partition, MRAM_INITIALIZE, path))
        printf("complete to initialize partition#%d(%s)\n", partition, path);
    return 0;
}

int NVRAMHandler::displayHelp(int, char*)
{
    return puts(USAGE);
}
