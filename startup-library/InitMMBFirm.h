// The board's firmware, NVRAM and boot state: which firmware partition (HCP)
// and boot ROM bank run now and next, the firmware-update mode, reboot
// counter, down log, MMB number, Active/Standby mode and board version.
// A singleton, loaded once from NVRAM partition 0 and the board registers.
#ifndef INIT_MMB_FIRM_H
#define INIT_MMB_FIRM_H

#include "NvramLayout.h"

#include <cstddef>
#include <cstdint>

class InitErrorLog;

class InitMMBFirm {
public:
    static constexpr int REV_SIZE = 11;  // revision texts: NUL-padded, not always terminated

    // NVRAM bytes 0..31. Single bytes only, so the image is the same on any host.
    struct FirmwareHeader {
        uint8_t firmUpMode;       // 0, 'F' apply requested, 'R' recovery
        uint8_t currentHcpNo;     // HCP partition running now
        uint8_t nextHcpNo;        // HCP partition to boot next
        uint8_t currentBootRom;   // boot ROM bank in use
        uint8_t nextBootRom;      // boot ROM bank for the next boot
        uint8_t bootRomChange;    // boot program exchange flag: 0, 1 or 0xFF
        uint8_t firmChange;       // 1 = the next boot changes the HCP
        uint8_t partStatus[2];    // HCP 0 and 1: 1 updating, 0 normal
        uint8_t spare;            // written back as read
        char currentHcpRev[REV_SIZE];
        char nextHcpRev[REV_SIZE];
    };
    static_assert(sizeof(FirmwareHeader) == nvram::HEADER_SIZE, "firmware header is 32 NVRAM bytes");

    // The start-up error record, 380 bytes; stored or sent in its packed
    // big-endian form (pack/unpack), never as this struct.
    struct initError {
        static constexpr int SIZE = 380;

        uint8_t flag;               // cleared by initialize
        uint8_t unused1[67];
        uint32_t downLogFlag;       // NVRAM 36..39; 1 = a down log is recorded
        uint8_t downLog[16];        // NVRAM 40..55: an error log record's saved form
        int32_t logCount;           // NVRAM 56..59; valid 0..16
        uint8_t logEntries[256];    // NVRAM 60..315
        uint8_t firmUpModeAtStart;  // firmUpMode as initialize read it
        uint8_t bootRomChangeResult;
        uint8_t prevFirmChange;     // snapshot taken when an update was pending
        uint8_t prevCurrentBootRom;
        uint8_t prevNextBootRom;
        uint8_t prevCurrentHcpNo;
        uint8_t prevNextHcpNo;
        char prevCurrentHcpRev[REV_SIZE];
        char prevNextHcpRev[REV_SIZE];
        uint8_t unused2[3];

        void pack(uint8_t out[SIZE]) const;
        void unpack(const uint8_t in[SIZE]);
        // NVRAM forms of the down-log area (36..55) and the log area (56..315).
        void packDownLogArea(uint8_t out[nvram::DOWN_LOG_AREA_SIZE]) const;
        void unpackDownLogArea(const uint8_t in[nvram::DOWN_LOG_AREA_SIZE]);
        void packLogArea(uint8_t out[nvram::LOG_AREA_SIZE]) const;
        void unpackLogArea(const uint8_t in[nvram::LOG_AREA_SIZE]);
    };

    enum BootCause : uint8_t { AC_ON = 0, REBOOT = 1 };
    enum NorCopyError : uint8_t { NOR_COPY_OK = 0, NOR_ERASE_FAILED = 1, NOR_COPY_FAILED = 2, NOR_COMPARE_FAILED = 3 };
    enum NandCopyError : uint8_t { NAND_COPY_OK = 0, NAND_PREPARE_FAILED = 1, NAND_COPY_FAILED = 2 };

    static InitMMBFirm* getInstance();
    // Stores text in an 11-byte revision field: cut to 11 bytes, or NUL-padded.
    static void setRevision(char* field, const char* text);

    InitMMBFirm() = default;
    InitMMBFirm(const InitMMBFirm&) = delete;
    InitMMBFirm& operator=(const InitMMBFirm&) = delete;
    virtual ~InitMMBFirm() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    void initialize();
    int checkNVRAM();
    int initNVRAM0();
    int readNVRAM_BOOT(int offset, void* buf, int len);
    int writeNVRAM_BOOT(int offset, void* buf, int len);
    int readNVRAM_NOR(int offset, void* buf, int len);
    int writeNVRAM_NOR(int offset, void* buf, int len);
    int flush();
    void setActiveMode(int mode);
    int getVLANMode();
    int setVLANMode(int mode);
    bool isTwoNICMode();
    void resetErrorResetFlag();

    void judgeBootCause();
    void readMMBBoardVersion();
    void clearResetTypeRegster(unsigned short mask);
    void resetPowerOnFlag();
    void setDownLog(InitErrorLog* record);
    void setWarning(InitErrorLog* record);
    void getCurrentPartitionNo(uint8_t& partNo, char* rev);

    // Firmware update through its first start: standby copies, outcome
    // records and commit, roll-back, and the boot program exchange result.
    void copyFirm();
    int checkNVRAM_NORVersion();
    void setFirmUpInfo();
    void setFirmUpRecovery();
    void generateBootChg(unsigned char bootedBank);

    FirmwareHeader header = {};
    FirmwareHeader savedHeader = {};  // header as last read or written; flush merges against it
    uint8_t mmbId = 0;                // this board's MMB number
    int32_t activeMode = 0;           // 0 Active, other Standby
    uint32_t startupFlag = 1;         // cleared by the nvram command
    uint8_t bootCause = AC_ON;
    uint8_t rebootCount = 0;          // NVRAM byte 32
    uint8_t suppressMode = 0;         // NVRAM byte 33
    bool initialized = false;
    bool firmUpdating = false;        // at start-up: 'F' with the firmware exchange flag set
    int32_t recoveryKind = 0;         // at start-up in 'R': 2 firmware exchanged, else 3
    struct initError initError = {};
    uint8_t startPhase = 0;           // written by process supervision
    uint8_t monitorStep = 0;          // written by process supervision
    int32_t cpldMode70 = 0;           // bits 0-1 of register 0x70: 1, 2, or 0
    uint8_t vlanMode = 0;             // NVRAM byte 318
    uint16_t norWord0 = 0;            // /dev/mram3 bytes 0..1
    uint16_t norWord1 = 0;            // /dev/mram3 bytes 2..3
    uint8_t boardVersion = 0;         // CPLD version
    uint8_t norCopyError = 0;         // NOR_COPY_*: outcome of the standby NOR copy
    uint8_t nandCopyError = 0;        // NAND_COPY_*: outcome of the standby HCP copy
    uint8_t powerOnFlag = 0;          // 1 when AC-ON was judged

private:
    void transferAreas(int fd, bool writing);
    void takeUpdateSnapshot();
    void judgeAcOn(const char* text);
    bool copyStandbyNor();
    void copyStandbyHcp();
    void recordCopyOutcome();
    void commitFirmUp();
    static InitMMBFirm* instance;
};

static_assert(sizeof(struct InitMMBFirm::initError) == InitMMBFirm::initError::SIZE, "start-up record is 380 bytes");
static_assert(offsetof(struct InitMMBFirm::initError, downLogFlag) == 68, "down-log flag at 68");
static_assert(offsetof(struct InitMMBFirm::initError, logCount) == 88, "log count at 88");
static_assert(offsetof(struct InitMMBFirm::initError, firmUpModeAtStart) == 348, "snapshot at 348");
static_assert(offsetof(struct InitMMBFirm::initError, prevNextHcpRev) == 366, "next revision snapshot at 366");

#endif
