#include "InitMMBFirm.h"

#include "BoardRegisters.h"
#include "ByteOrder.h"
#include "CpldAccess.h"
#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitTraceHandler.h"
#include "ShellCommand.h"

#include "board_devices.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

static_assert(sizeof InitMMBFirm::initError::downLog == InitErrorLog::SAVED_SIZE,
              "the down log holds an error log record's saved form");

namespace {

constexpr uint8_t TWO_NIC_MIN_VERSION = 0x4B;

constexpr const char* REBOOT_MARKER = "/tmp/MMB_REBOOT_HBL";
constexpr const char* I2C_MARKER = "/var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE";
constexpr const char* HBL_COUNT_FILE = "/var/mmb/fmem/MMB_REBOOT_HBL_CNT";
constexpr const char* RUNNING_LINK = "/mnt/mmb";
constexpr int LINK_NAME_LENGTH = 3;  // "fs0" or "fs1"

constexpr int MODE_READ = 0;

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

// A marker that a power cut must not take back. One that is missing was
// not made: its touch's failure is ignored.
void keepOnStorage(const char* path)
{
    if (InitMMBFile::syncToStorage(path) != 0 && errno != ENOENT)
        trace()->outputf(20011, 0, "sync(%s) failed errno=%d", path, errno);
}

void nvramPath(int partition, char (&path)[16])
{
    snprintf(path, sizeof path, MRAM_DEVICE_FORMAT, partition);
}

// Opens NVRAM partition 0.
int openBoot(int flags)
{
    char path[16];
    nvramPath(0, path);
    return open(path, flags | O_CLOEXEC);
}

int transfer(int partition, int offset, void* buf, int len, bool writing)
{
    char path[16];
    nvramPath(partition, path);
    int fd = open(path, O_RDWR | O_CLOEXEC);
    lseek(fd, offset, SEEK_SET);
    int result = writing ? static_cast<int>(write(fd, buf, static_cast<size_t>(len)))
                         : static_cast<int>(read(fd, buf, static_cast<size_t>(len)));
    close(fd);
    return result;
}

uint8_t* bytesOf(InitMMBFirm::FirmwareHeader& header)
{
    return reinterpret_cast<uint8_t*>(&header);
}

void copyRevision(char* to, const char* from)
{
    memcpy(to, from, InitMMBFirm::REV_SIZE);
}

} // namespace

InitMMBFirm* InitMMBFirm::instance = nullptr;

InitMMBFirm* InitMMBFirm::getInstance()
{
    if (instance == nullptr)
        instance = new InitMMBFirm();
    return instance;
}

void InitMMBFirm::setRevision(char* field, const char* text)
{
    size_t length = strnlen(text, REV_SIZE);
    memcpy(field, text, length);
    memset(field + length, 0, REV_SIZE - length);
}

void InitMMBFirm::initialize()
{
    if (initialized)
        return;
    judgeBootCause();

    uint8_t norWords[nvram::NOR_WORDS_SIZE];
    if (readNVRAM_NOR(0, norWords, sizeof norWords) >= static_cast<int>(sizeof norWords)) {
        norWord0 = getBig16(norWords);
        norWord1 = getBig16(norWords + 2);
    }
    readMMBBoardVersion();

    uint16_t value = 0;
    mmbId = readCpldRegister(reg::MMB_NUMBER, value) && (value & reg::MMB_NUMBER_BIT) != 0 ? 1 : 0;
    value = 0;
    if (readCpldRegister(reg::CPLD_MODE, value) && (value & reg::CPLD_MODE_MASK) == 1) {
        cpldMode70 = 1;
    } else {
        value = 0;
        cpldMode70 = readCpldRegister(reg::CPLD_MODE, value) && (value & reg::CPLD_MODE_MASK) == 2 ? 2 : 0;
    }

    int fd = -1;
    if (checkNVRAM() != 0) {
        initNVRAM0();
    } else {
        fd = openBoot(O_RDONLY);
        lseek(fd, nvram::HEADER_OFFSET, SEEK_SET);
        read(fd, &header, sizeof header);
    }

    initError.flag = 0;
    savedHeader = header;
    if (header.firmUpMode != nvram::FIRMUP_NONE)
        takeUpdateSnapshot();
    initError.firmUpModeAtStart = header.firmUpMode;
    if (fd >= 0) {
        transferAreas(fd, false);
        close(fd);
    }

    if (bootCause == AC_ON || initError.logCount < 0 || initError.logCount > nvram::MAX_LOG_COUNT)
        initError.logCount = 0;
    firmUpdating = header.firmUpMode == nvram::FIRMUP_APPLY && header.firmChange == 1;
    if (header.firmUpMode == nvram::FIRMUP_RECOVERY)
        recoveryKind = header.firmChange == 1 ? 2 : 3;
    initialized = true;
}

void InitMMBFirm::takeUpdateSnapshot()
{
    initError.prevFirmChange = header.firmChange;
    initError.prevCurrentBootRom = header.currentBootRom;
    initError.prevNextBootRom = header.nextBootRom;
    initError.prevCurrentHcpNo = header.currentHcpNo;
    initError.prevNextHcpNo = header.nextHcpNo;
    copyRevision(initError.prevCurrentHcpRev, header.currentHcpRev);
    copyRevision(initError.prevNextHcpRev, header.nextHcpRev);
}

// Reads or writes the areas after the header on the open partition. The
// big-endian areas are read over their current packed form, so bytes a
// failed or short read leaves alone keep the fields as they were.
void InitMMBFirm::transferAreas(int fd, bool writing)
{
    auto transfer = [fd, writing](int offset, void* bytes, size_t length) {
        if (offset >= 0)
            lseek(fd, offset, SEEK_SET);
        if (writing)
            write(fd, bytes, length);
        else
            read(fd, bytes, length);
    };
    constexpr int FOLLOWING = -1;  // right after the previous transfer
    transfer(nvram::REBOOT_COUNT_OFFSET, &rebootCount, 1);
    transfer(FOLLOWING, &suppressMode, 1);

    uint8_t downLogArea[nvram::DOWN_LOG_AREA_SIZE];
    initError.packDownLogArea(downLogArea);
    transfer(nvram::DOWN_LOG_OFFSET, downLogArea, sizeof downLogArea);
    uint8_t logArea[nvram::LOG_AREA_SIZE];
    initError.packLogArea(logArea);
    transfer(nvram::LOG_AREA_OFFSET, logArea, sizeof logArea);
    if (!writing) {
        initError.unpackDownLogArea(downLogArea);
        initError.unpackLogArea(logArea);
    }
    transfer(nvram::VLAN_MODE_OFFSET, &vlanMode, 1);
}

int InitMMBFirm::checkNVRAM()
{
    char path[16];
    nvramPath(0, path);
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    uint8_t id[nvram::ID_SIZE] = {};
    trace()->outputf(20001, 1, "checkNVRAM read head offset=%x", nvram::ID_OFFSET);
    bool repaired = false;
    lseek(fd, nvram::ID_OFFSET, SEEK_SET);
    ssize_t got = read(fd, id, sizeof id);
    if (got < 0 && errno == EIO) {
        if (ioctl(fd, MRAM_GENERATE_CHECKSUM, 0) < 0) {
            close(fd);
            return -1;
        }
        lseek(fd, nvram::ID_OFFSET, SEEK_SET);
        got = read(fd, id, sizeof id);
        repaired = true;
    }
    close(fd);
    if (got != static_cast<ssize_t>(sizeof id))
        return -1;

    bool idMatch = id[0] == nvram::ID_BYTE;
    if (idMatch)
        trace()->outputf(20001, 1, "checkNVRAM id(%d) is match", nvram::ID_BYTE);
    bool nameMatch = memcmp(id + nvram::ID_NAME_OFFSET, nvram::ID_NAME, sizeof nvram::ID_NAME) == 0;
    if (!idMatch && !nameMatch)
        return 1;
    if (idMatch != nameMatch)
        return -1;
    return repaired ? 1 : 0;
}

int InitMMBFirm::initNVRAM0()
{
    uint8_t id[nvram::ID_SIZE] = {nvram::ID_BYTE, ' '};
    memcpy(id + nvram::ID_NAME_OFFSET, nvram::ID_NAME, sizeof nvram::ID_NAME);

    getCurrentPartitionNo(header.currentHcpNo, header.currentHcpRev);
    header.nextHcpNo = header.currentHcpNo;
    copyRevision(header.nextHcpRev, header.currentHcpRev);
    uint16_t resetType = 0;
    header.currentBootRom = readCpldRegister(reg::RESET_TYPE, resetType) && (resetType & reg::BANK1_IN_USE) ? 1 : 0;
    rebootCount = 0;
    suppressMode = 0;
    initError = {};

    int fd = openBoot(O_RDWR);
    if (fd < 0)
        return -1;
    if (ioctl(fd, MRAM_INITIALIZE, 0) < 0) {
        close(fd);
        return -1;
    }
    if (lseek(fd, nvram::HEADER_OFFSET, SEEK_SET) >= 0)
        write(fd, &header, sizeof header);
    trace()->outputf(20001, 1, "initNVRAM write header offset=%x", nvram::ID_OFFSET);
    if (lseek(fd, nvram::ID_OFFSET, SEEK_SET) >= 0)
        write(fd, id, sizeof id);
    close(fd);
    return 0;
}

int InitMMBFirm::readNVRAM_BOOT(int offset, void* buf, int len)
{
    return transfer(0, offset, buf, len, false);
}

int InitMMBFirm::writeNVRAM_BOOT(int offset, void* buf, int len)
{
    return transfer(0, offset, buf, len, true);
}

int InitMMBFirm::readNVRAM_NOR(int offset, void* buf, int len)
{
    return transfer(3, offset, buf, len, false);
}

int InitMMBFirm::writeNVRAM_NOR(int offset, void* buf, int len)
{
    return transfer(3, offset, buf, len, true);
}

int InitMMBFirm::flush()
{
    int fd = openBoot(O_RDWR);
    if (fd < 0)
        return -1;
    FirmwareHeader stored;
    lseek(fd, nvram::HEADER_OFFSET, SEEK_SET);
    if (read(fd, &stored, sizeof stored) == static_cast<ssize_t>(sizeof stored)) {
        // Keep header bytes another program changed since this object last
        // read or wrote them, unless this object changed them too.
        uint8_t* own = bytesOf(header);
        const uint8_t* saved = bytesOf(savedHeader);
        const uint8_t* other = bytesOf(stored);
        for (int i = 0; i < nvram::HEADER_SIZE; ++i)
            if (own[i] == saved[i] && other[i] != saved[i])
                own[i] = other[i];
    } else {
        // Nothing to merge against: this object's header is the best known.
        trace()->output(20011, 0, "flush:read header", errno);
    }
    lseek(fd, nvram::HEADER_OFFSET, SEEK_SET);
    write(fd, &header, sizeof header);
    savedHeader = header;

    transferAreas(fd, true);
    return close(fd);
}

void InitMMBFirm::setActiveMode(int mode)
{
    trace()->outputf(20001, 0, "setActiveMode = %d", mode);
    activeMode = mode;
}

int InitMMBFirm::getVLANMode()
{
    return vlanMode;
}

int InitMMBFirm::setVLANMode(int mode)
{
    vlanMode = static_cast<uint8_t>(mode);
    return writeNVRAM_BOOT(nvram::VLAN_MODE_OFFSET, &vlanMode, 1);
}

bool InitMMBFirm::isTwoNICMode()
{
    return boardVersion >= TWO_NIC_MIN_VERSION;
}

void InitMMBFirm::resetErrorResetFlag() {}

void InitMMBFirm::judgeAcOn(const char* text)
{
    trace()->output(20001, 1, text);
    bootCause = AC_ON;
    powerOnFlag = 1;
    execClaimedCommand(REBOOT_MARKER, "touch %s 2>/dev/null ", REBOOT_MARKER);
}

void InitMMBFirm::judgeBootCause()
{
    int fd = open(CPLD_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        uint16_t value = 0;
        bool powerOn = cpldRead(fd, reg::RESET_TYPE, value) == 0 && (value & reg::POWER_ON_FLAG) != 0;
        if (powerOn)
            cpldWrite(fd, reg::RESET_TYPE, static_cast<uint16_t>(value & ~reg::WDT_ERROR_FLAG));
        close(fd);
        if (powerOn) {
            judgeAcOn("judge MMB reset cause AC-ON");
            execCommandNoDown("touch %s 2>/dev/null ", I2C_MARKER);
            keepOnStorage(I2C_MARKER);
            return;
        }
    }
    trace()->output(20001, 1, "judge MMB reset cause REBOOT");
    bootCause = REBOOT;

    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(HBL_COUNT_FILE, path);
    int countFd = InitMMBFile::openRegular(path, O_RDWR | O_CREAT, 0777);
    if (countFd < 0) {
        trace()->output(20003, 1, "HBL REBOOT Count file Open Fail");
        return;
    }
    uint8_t count = 0;
    ssize_t got = pread(countFd, &count, 1, 0);
    if (got != 1)
        count = 0;
    trace()->outputf(20003, 1, "HBL REBOOT Count =%d (%d)", count, static_cast<int>(got));
    if (count != 0)
        judgeAcOn("judge MMB HBL reset cause AC-ON");
    close(countFd);

    InitMMBFile::makePath(I2C_MARKER, path);
    if (InitMMBFile::isFileExist(path))
        judgeAcOn("judge MMB I2C reset cause AC-ON");
}

void InitMMBFirm::readMMBBoardVersion()
{
    int fd = open(CPLD_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        trace()->output(20011, 0, "readMMBBoardVersion:CPLD open", errno);
        return;
    }
    uint16_t value = 0;
    if (cpldRead(fd, reg::BOARD_VERSION, value) != 0) {
        trace()->output(20011, 0, "readMMBBoardVersion:read cpld", errno);
        close(fd);
        return;
    }
    close(fd);
    boardVersion = static_cast<uint8_t>(value >> reg::BOARD_VERSION_SHIFT);
    trace()->outputf(20002, 0, "readMMBBoardVersion (CPLD Version=%02x)", boardVersion);
}

void InitMMBFirm::clearResetTypeRegster(unsigned short mask)
{
    int fd = open(CPLD_DEVICE, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        trace()->output(20011, 0, "stopWatchDogTimer:open", errno);
        return;
    }
    uint16_t value = 0;
    if (cpldRead(fd, reg::RESET_TYPE, value) != 0 ||
        cpldWrite(fd, reg::RESET_TYPE, static_cast<uint16_t>(value & ~mask)) != 0)
        trace()->output(20011, 0, "reset power on flag of MMB Reset Type register:ioctl(write)", errno);
    close(fd);
}

void InitMMBFirm::resetPowerOnFlag()
{
    clearResetTypeRegster(reg::POWER_ON_FLAG);
    powerOnFlag = 0;
}

void InitMMBFirm::setDownLog(InitErrorLog* record)
{
    record->pack(initError.downLog);
    initError.downLogFlag = 1;
    flush();
    delete record;
}

void InitMMBFirm::setWarning(InitErrorLog* record)
{
    InitErrorLog::outputLog(*record);
    delete record;
}

void InitMMBFirm::getCurrentPartitionNo(uint8_t& partNo, char* rev)
{
    trace()->output(20001, 1, "getCurrentPartitionNo");
    char link[256] = {};
    ssize_t length = readlink(RUNNING_LINK, link, sizeof link - 1);
    if (length != LINK_NAME_LENGTH) {
        partNo = 0;
        trace()->outputf(20003, 1, "read link file(/mnt/mmb) rtn=%d", static_cast<int>(length));
    } else {
        trace()->outputf(20001, 1, "getCurrentPartitionNo get mount dir %s", link);
        partNo = strstr(link, "fs1") != nullptr && strstr(link, "fs0") == nullptr ? 1 : 0;
    }

    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(partNo == 0 ? "/mnt/fs0/opt/mmb/version.dat" : "/mnt/fs1/opt/mmb/version.dat", path);
    char line[REVISION_LINE_SIZE];
    if (!readRevisionLine(path, line))
        return;
    char* value = strchr(line, '=');
    if (value == nullptr)
        return;
    ++value;
    value[strcspn(value, "\n")] = '\0';
    setRevision(rev, value);
}

bool InitMMBFirm::readRevisionLine(const char* path, char (&line)[REVISION_LINE_SIZE])
{
    InitMMBFile file;
    snprintf(file.path, sizeof file.path, "%s", path);
    file.open(MODE_READ);
    return file.fp != nullptr && fgets(line, sizeof line, file.fp) != nullptr;
}
