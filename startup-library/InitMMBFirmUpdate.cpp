// InitMMBFirm, continued: a firmware update carried through its first
// start. The standby copies, the records of their outcome, the commit or
// roll-back in NVRAM, and the boot program exchange result.
#include "InitMMBFirm.h"

#include "InitErrorLog.h"
#include "InitMMBBootROM.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"

#include <cstring>
#include <mntent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* COPY_INHIBIT_MARKER = "/var/mmb/fmem/INH_MMBFSYNC";
constexpr const char* COPY_MARKER = "/tmp/firmup_reboot";
constexpr const char* ACTIVE_NOR = "/dev/mtd0";
constexpr const char* STANDBY_NOR = "/dev/mtd1";
constexpr const char* PACKAGE = "/mnt/hcp/mmbfirm.tgz";
constexpr const char* NOR_COPY = "/tmp/nor0";
constexpr const char* PACKAGE_IMAGE = "/tmp/worknor";
constexpr const char* RUNNING_LINK = "/mnt/mmb";

// Update records carry unit 2 (unit code 0xC2); code byte 0 names the reporter.
constexpr int UPDATE_UNIT = 2;
constexpr uint8_t COPY_RESULT = 3;
constexpr uint8_t BOTH_EXCHANGED = 7;
constexpr uint8_t ROLLED_BACK = 0x10;
constexpr uint8_t COPY_FAILED = 0x20;
constexpr uint8_t NOR_MISMATCH = 0x60;

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

// The copy source is a firmware file system only when it is mounted where
// it should be: a firmware that is not there must never make the copy start
// from whatever folder the shell is in.
bool isMountedFirmware(int hcpNo)
{
    std::string directory = "/mnt/fs" + std::to_string(hcpNo);
    FILE* table = setmntent("/proc/self/mounts", "re");
    if (table == nullptr)
        return false;
    bool mounted = false;
    while (const mntent* entry = getmntent(table))
        mounted = mounted || directory == entry->mnt_dir;
    endmntent(table);
    return mounted;
}

// The firmware file system running now, as /mnt/mmb names it: 0 or 1, or
// -1 when the link names neither "fs0" nor "fs1".
int runningHcp()
{
    char link[8] = {};
    if (readlink(RUNNING_LINK, link, sizeof link - 1) < 0)
        return -1;
    if (strcmp(link, "fs0") == 0)
        return 0;
    return strcmp(link, "fs1") == 0 ? 1 : -1;
}

// A work file was filled by its command only when the command succeeded and
// left something in it: a full /tmp leaves the file empty or short and the
// command failing.
bool filled(const char* file, int status)
{
    if (status != 0)
        return false;
    struct stat info;
    // GCOVR_EXCL_BR_START: in a sticky /tmp nobody else can remove the file made for the command
    if (lstat(file, &info) != 0)
        return false;
    // GCOVR_EXCL_BR_STOP
    return info.st_size > 0;
}

// Has the command make its work file afresh and fill it. A name that could
// not be made ours (the command did not run) is another user's and left
// alone; a file left unfilled holds nothing to inspect and is removed again.
bool fillWorkFile(const char* file, int (*command)())
{
    int status = command();
    if (filled(file, status))
        return true;
    if (status != COMMAND_NOT_RUN)
        unlink(file);
    return false;
}

void warn(InitMMBFirm& firm, int kind, uint8_t c0, uint8_t c1, uint8_t c2)
{
    firm.setWarning(new InitErrorLog(kind, UPDATE_UNIT, c0, c1, c2, 0, 0, 0));
}

} // namespace

int InitMMBFirm::checkNVRAM_NORVersion()
{
    // The compare reads only work files made afresh here and filled: a work
    // file that could not be made (another user holds its name) or filled
    // fails the compare as a difference does, and cmp never reads it.
    bool norCopied =
        fillWorkFile(NOR_COPY, [] { return execWorkFileCommand(NOR_COPY, "/bin/cat %s > %s", ACTIVE_NOR, NOR_COPY); });
    bool imageUnpacked = fillWorkFile(PACKAGE_IMAGE, [] {
        return execWorkFileCommand(PACKAGE_IMAGE, "/bin/tar xzOf %s rom.image.gz | /bin/gzip -dc > %s", PACKAGE,
                                   PACKAGE_IMAGE);
    });
    if (!norCopied || !imageUnpacked ||
        execCommand_retExitCode("/usr/bin/cmp %s %s > /dev/null", NOR_COPY, PACKAGE_IMAGE) != 0) {
        trace()->output(20003, 1, "Compare Error for Active NOR");
        return 0;
    }
    execCommandNoDown("rm %s", NOR_COPY);
    execCommandNoDown("rm %s", PACKAGE_IMAGE);
    trace()->output(20002, 1, "Compare Completed for Active NOR");
    return 1;
}

void InitMMBFirm::copyFirm()
{
    bool bothExchanged = header.firmUpMode == nvram::FIRMUP_APPLY && header.bootRomChange != 0 && header.firmChange != 0;
    if (access(COPY_INHIBIT_MARKER, F_OK) == 0 || !bothExchanged) {
        trace()->output(20002, 1, "Skipping Standby Flash copy");
        return;
    }
    if (execClaimedCommand(COPY_MARKER, "touch %s 2>/dev/null", COPY_MARKER) != 0)
        trace()->output(20003, 0, "Making file:%s", COPY_MARKER);
    if (copyStandbyNor())
        copyStandbyHcp();
}

// The standby NOR flash gets a copy of the active one, once the active one
// is known to hold the package's boot image.
bool InitMMBFirm::copyStandbyNor()
{
    if (checkNVRAM_NORVersion() == 0) {
        trace()->output(20003, 0, "NOR bank change Error");
        norCopyError = NOR_COMPARE_FAILED;
        return false;
    }
    trace()->output(20001, 1, "Copying Standby NOR Flash");
    if (execCommand_retExitCode("%s %s 2>/dev/null", "/usr/sbin/flash_eraseall", STANDBY_NOR) != 0) {
        trace()->output(20003, 0, "Erasing of Standby NOR Flash");
        norCopyError = NOR_ERASE_FAILED;
        return false;
    }
    if (execCommand_retExitCode("/bin/dd if=/dev/mtd0 of=/dev/mtd1 bs=128k") != 0) {
        trace()->output(20003, 0, "Copy from Active NOR");
        norCopyError = NOR_COPY_FAILED;
        return false;
    }
    trace()->output(20002, 1, "Copying Standby NOR Flash");
    return true;
}

// The standby HCP file system (partition s + 1 of the disk) is made afresh
// and gets a copy of the one that will run next.
void InitMMBFirm::copyStandbyHcp()
{
    int next = header.nextHcpNo;
    int standby = next == 1 ? 0 : 1;
    trace()->output(20001, 0, "Copying Standby NAND Flash");
    // The standby is formatted, so it must be known not to run: the update
    // runs the next HCP, and /mnt/mmb must name it. A next HCP number that
    // names no partition, or a link naming the standby or neither, leaves
    // both file systems untouched.
    int running = runningHcp();
    if (next > 1 || running < 0 || running == standby) {
        trace()->outputf(20003, 0, "Standby NAND Flash refused: next hcp %d, running hcp %d", next, running);
        nandCopyError = NAND_PREPARE_FAILED;
        return;
    }
    if (execCommand_retExitCode("%s /mnt/fs%d", "/bin/umount", standby) != 0) {
        trace()->outputf(20003, 0, "Umount of fs%d", standby);
        nandCopyError = NAND_PREPARE_FAILED;
        return;
    }
    if (execCommand_retExitCode("/sbin/mkfs.ext3 /dev/sda%d 2>/dev/null", standby + 1) != 0) {
        trace()->output(20003, 0, "Erasing of Standby NAND Flash");
        nandCopyError = NAND_PREPARE_FAILED;
        return;
    }
    if (execCommand_retExitCode("%s -t ext3 /dev/sda%d /mnt/fs%d", "/bin/mount", standby + 1, standby) != 0) {
        trace()->outputf(20003, 0, "Mount of fs%d", standby);
        nandCopyError = NAND_PREPARE_FAILED;
        return;
    }
    if (!isMountedFirmware(next) ||
        execCommand_retExitCode("cd /mnt/fs%d; %s -a ./ /mnt/fs%d", next, "/bin/cp", standby) != 0) {
        trace()->output(20003, 0, "Copying Standby NAND Flash");
        nandCopyError = NAND_COPY_FAILED;
        return;
    }
    trace()->output(20002, 1, "Copying Standby NAND Flash");
}

void InitMMBFirm::setFirmUpInfo()
{
    if (header.firmUpMode == nvram::FIRMUP_RECOVERY) {
        initError.prevFirmChange = header.firmChange;
        warn(*this, 1, COPY_RESULT, static_cast<uint8_t>(mmbId | ROLLED_BACK), 0);
    } else if (header.firmUpMode == nvram::FIRMUP_APPLY) {
        if (header.firmChange != 0)
            trace()->output(20002, 0, "Exchage of MMB Firmware");
        if (header.bootRomChange != 0)
            trace()->output(20002, 0, "Exchange of MMB Boot Program");
        if (header.firmChange != 0 && header.bootRomChange != 0)
            warn(*this, 3, BOTH_EXCHANGED, 0, 0);
        recordCopyOutcome();
    } else {
        return;
    }
    commitFirmUp();
}

void InitMMBFirm::recordCopyOutcome()
{
    uint8_t failed = static_cast<uint8_t>(mmbId | COPY_FAILED);
    switch (norCopyError) {
    case NOR_ERASE_FAILED:
        warn(*this, 1, COPY_RESULT, failed, 2);
        break;
    case NOR_COPY_FAILED:
        warn(*this, 1, COPY_RESULT, failed, 3);
        break;
    case NOR_COMPARE_FAILED:
        warn(*this, 1, COPY_RESULT, static_cast<uint8_t>(mmbId | NOR_MISMATCH), 4);
        break;
    default:
        break;
    }
    if (nandCopyError == NAND_PREPARE_FAILED)
        warn(*this, 1, COPY_RESULT, failed, 0);
    else if (nandCopyError == NAND_COPY_FAILED)
        warn(*this, 1, COPY_RESULT, failed, 1);
}

void InitMMBFirm::commitFirmUp()
{
    sync();  // the standby copies reach the storage before NVRAM names them good
    // A next HCP number that names no partition (a corrupted byte) is never
    // committed: the partition that runs now is, as a rebuilt NVRAM takes it.
    if (header.nextHcpNo > 1) {
        trace()->outputf(20003, 0, "Next hcp no %d invalid", header.nextHcpNo);
        getCurrentPartitionNo(header.nextHcpNo, header.nextHcpRev);
    }
    rebootCount = 0;
    header.firmUpMode = nvram::FIRMUP_NONE;
    header.currentHcpNo = header.nextHcpNo;
    header.currentBootRom = header.nextBootRom;
    memcpy(header.currentHcpRev, header.nextHcpRev, REV_SIZE);
    header.bootRomChange = 0;
    header.firmChange = 0;
    flush();
}

void InitMMBFirm::setFirmUpRecovery()
{
    if (header.firmUpMode != nvram::FIRMUP_APPLY)
        return;
    header.firmUpMode = nvram::FIRMUP_RECOVERY;
    header.nextHcpNo = header.currentHcpNo;
    header.nextBootRom = header.currentBootRom;
    if (header.bootRomChange != 0)
        InitMMBBootROM::getInstance()->setBankNo(header.currentBootRom);
    memcpy(header.nextHcpRev, header.currentHcpRev, REV_SIZE);
    header.bootRomChange = 0;
    header.firmChange = 0;
    flush();
}

void InitMMBFirm::generateBootChg(unsigned char bootedBank)
{
    constexpr uint8_t NOT_TAKEN = 0xFF;  // the board did not boot the bank selected
    if (header.firmUpMode == nvram::FIRMUP_NONE || header.currentBootRom == header.nextBootRom)
        header.bootRomChange = 0;
    else
        header.bootRomChange = header.nextBootRom == bootedBank ? 1 : NOT_TAKEN;
    initError.bootRomChangeResult = header.bootRomChange;
}
