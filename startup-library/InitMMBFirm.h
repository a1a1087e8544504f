#ifndef INIT_MMB_FIRM_H
#define INIT_MMB_FIRM_H

#include "NvramLayout.h"

#include <cstddef>
#include <cstdint>

class InitErrorLog;

/// The board's firmware, NVRAM and boot state: which firmware partition (HCP)
/// and boot ROM bank run now and next, the firmware-update mode, reboot
/// counter, down log, MMB number, Active/Standby mode and board version.
/// A singleton, loaded once from NVRAM partition 0 and the board registers.
class InitMMBFirm {
public:
    static constexpr int REV_SIZE = 11;  ///< revision texts: NUL-padded, not always terminated

    /// NVRAM bytes 0..31. Single bytes only, so the image is the same on any host.
    struct FirmwareHeader {
        uint8_t firmUpMode;       ///< 0, 'F' apply requested, 'R' recovery
        uint8_t currentHcpNo;     ///< HCP partition running now
        uint8_t nextHcpNo;        ///< HCP partition to boot next
        uint8_t currentBootRom;   ///< boot ROM bank in use
        uint8_t nextBootRom;      ///< boot ROM bank for the next boot
        uint8_t bootRomChange;    ///< boot program exchange flag: 0, 1 or 0xFF
        uint8_t firmChange;       ///< 1 = the next boot changes the HCP
        uint8_t partStatus[2];    ///< HCP 0 and 1: 1 updating, 0 normal
        uint8_t spare;            ///< written back as read
        char currentHcpRev[REV_SIZE];  ///< revision text of the running HCP
        char nextHcpRev[REV_SIZE];     ///< revision text of the HCP booted next
    };
    static_assert(sizeof(FirmwareHeader) == nvram::HEADER_SIZE, "firmware header is 32 NVRAM bytes");

    /// The start-up error record, 380 bytes; stored or sent in its packed
    /// big-endian form (pack/unpack), never as this struct.
    struct initError {
        static constexpr int SIZE = 380;  ///< bytes of the packed form

        uint8_t flag;               ///< cleared by initialize
        uint8_t unused1[67];        ///< carried unchanged
        uint32_t downLogFlag;       ///< NVRAM 36..39; 1 = a down log is recorded
        uint8_t downLog[16];        ///< NVRAM 40..55: an error log record's saved form
        int32_t logCount;           ///< NVRAM 56..59; valid 0..16
        uint8_t logEntries[256];    ///< NVRAM 60..315
        uint8_t firmUpModeAtStart;  ///< firmUpMode as initialize read it
        uint8_t bootRomChangeResult;  ///< set by generateBootChg
        uint8_t prevFirmChange;     ///< snapshot taken when an update was pending
        /// The header fields as they were when the update was applied.
        ///@{
        uint8_t prevCurrentBootRom;
        uint8_t prevNextBootRom;
        uint8_t prevCurrentHcpNo;
        uint8_t prevNextHcpNo;
        char prevCurrentHcpRev[REV_SIZE];
        char prevNextHcpRev[REV_SIZE];
        ///@}
        uint8_t unused2[3];         ///< carried unchanged

        /// Writes the record's 380-byte big-endian form (the file /tmp/initlog).
        void pack(uint8_t out[SIZE]) const;
        /// Reads the record back from its 380-byte big-endian form.
        void unpack(const uint8_t in[SIZE]);
        /// NVRAM forms of the down-log area (36..55) and the log area (56..315).
        /// Writes the down-log flag and record as NVRAM bytes 36..55.
        void packDownLogArea(uint8_t out[nvram::DOWN_LOG_AREA_SIZE]) const;
        /// Reads the down-log flag and record from NVRAM bytes 36..55.
        void unpackDownLogArea(const uint8_t in[nvram::DOWN_LOG_AREA_SIZE]);
        /// Writes the log count and entries as NVRAM bytes 56..315.
        void packLogArea(uint8_t out[nvram::LOG_AREA_SIZE]) const;
        /// Reads the log count and entries from NVRAM bytes 56..315.
        void unpackLogArea(const uint8_t in[nvram::LOG_AREA_SIZE]);
    };

    /// Why the board started: AC_ON a power-on, REBOOT a reboot (bootCause).
    enum BootCause : uint8_t { AC_ON = 0, REBOOT = 1 };
    /// Outcome of the standby NOR flash copy (norCopyError).
    enum NorCopyError : uint8_t { NOR_COPY_OK = 0, NOR_ERASE_FAILED = 1, NOR_COPY_FAILED = 2, NOR_COMPARE_FAILED = 3 };
    /// Outcome of the standby HCP copy (nandCopyError).
    enum NandCopyError : uint8_t { NAND_COPY_OK = 0, NAND_PREPARE_FAILED = 1, NAND_COPY_FAILED = 2 };

    /// The single object, created on the first call and never destroyed. Holds
    /// nothing of the board until initialize() has run.
    static InitMMBFirm* getInstance();
    /// Stores text in an 11-byte revision field: cut to 11 bytes, or NUL-padded.
    static void setRevision(char* field, const char* text);
    /// Bytes read of a revision file's first line, with the NUL.
    static constexpr int REVISION_LINE_SIZE = 128;
    /// Reads the first line of a revision file (version.dat) as the board
    /// reads it: opened by InitMMBFile in mode 0, one line of at most 127
    /// characters. False when it cannot be opened or holds nothing.
    static bool readRevisionLine(const char* path, char (&line)[REVISION_LINE_SIZE]);

    InitMMBFirm() = default;
    InitMMBFirm(const InitMMBFirm&) = delete;
    InitMMBFirm& operator=(const InitMMBFirm&) = delete;
    virtual ~InitMMBFirm() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    /// Loads the state, once per process (later calls do nothing): judges the
    /// boot cause (judgeBootCause), reads the NOR NVRAM words, the board version
    /// and the MMB number, checks the identification block of NVRAM partition 0
    /// and re-initialises a damaged partition from the running HCP, then reads
    /// the NVRAM areas. Throws nothing; device failures leave the fields at
    /// their defaults. Call it first, before any other operation of the library.
    void initialize();
    /// Checks the identification block of NVRAM partition 0, asking the driver
    /// for a new checksum when a read fails with EIO.
    /// @return 0 valid; 1 (neither part matches, or repaired) or -1 (half
    /// matches, or a device failure) otherwise.
    int checkNVRAM();
    /// Re-initialises NVRAM partition 0: the running HCP as current and next,
    /// the current boot ROM bank from register 0x600, the identification block.
    /// @return 0, or -1 when the device could not be opened or initialised.
    int initNVRAM0();
    /// Reads len bytes at offset of NVRAM partition 0 (/dev/mram0).
    /// @return the byte count read, negative on failure.
    int readNVRAM_BOOT(int offset, void* buf, int len);
    /// Writes len bytes at offset of NVRAM partition 0 (/dev/mram0).
    /// @return the byte count written, negative on failure.
    int writeNVRAM_BOOT(int offset, void* buf, int len);
    /// Reads len bytes at offset of the NOR NVRAM (/dev/mram3).
    /// @return the byte count read, negative on failure.
    int readNVRAM_NOR(int offset, void* buf, int len);
    /// Writes len bytes at offset of the NOR NVRAM (/dev/mram3).
    /// @return the byte count written, negative on failure.
    int writeNVRAM_NOR(int offset, void* buf, int len);
    /// Writes the state back to NVRAM partition 0. Header bytes this object has
    /// not changed take what another program stored meanwhile; the other areas
    /// are written whole.
    /// @return 0.
    int flush();
    /// Sets activeMode: 0 Active, any other value Standby. Daemons started and
    /// services judged afterwards see this mode.
    void setActiveMode(int mode);
    /// @return the VLAN mode (NVRAM byte 318) as read by initialize().
    int getVLANMode();
    /// Stores the low byte of mode as the VLAN mode and writes it to NVRAM at once.
    /// @return the result of the write (the byte count, negative on failure).
    int setVLANMode(int mode);
    /// @return true on board versions above 0x4A, which have two network interfaces.
    bool isTwoNICMode();
    /// Does nothing; kept for programs that call it.
    void resetErrorResetFlag();

    /// Judges the boot cause into bootCause and powerOnFlag from the power-on
    /// flag of register 0x600, the HBL reboot count file and the I2C marker
    /// /var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE; creates the markers of a power-on.
    /// Called by initialize().
    void judgeBootCause();
    /// Reads the board (CPLD) version into boardVersion. Called by initialize().
    void readMMBBoardVersion();
    /// Clears the bits of mask in register 0x600; a failure is only traced.
    void clearResetTypeRegster(unsigned short mask);
    /// Clears the power-on flag of register 0x600 and powerOnFlag, so that the
    /// next start is judged REBOOT unless the power goes. Call it once
    /// initialize() has judged this start.
    void resetPowerOnFlag();
    /// Stores the record as the NVRAM down log (flag and record) and writes the
    /// NVRAM. Takes ownership: the record is deleted.
    void setDownLog(InitErrorLog* record);
    /// Saves the record as an error log file (InitErrorLog::outputLog); the
    /// NVRAM is not touched. Takes ownership: the record is deleted.
    void setWarning(InitErrorLog* record);
    /// Finds the running HCP from /mnt/mmb and its revision from its version.dat.
    /// @param partNo receives 0 or 1.
    /// @param rev receives the 11-byte revision field.
    void getCurrentPartitionNo(uint8_t& partNo, char* rev);

    /// Firmware update through its first start: standby copies, outcome
    /// records and commit, roll-back, and the boot program exchange result.
    ///@{
    /// Makes the standby copies of a firmware update that came up: the NOR
    /// flash and the other HCP. The outcome is in norCopyError and
    /// nandCopyError; failures are traced, not thrown.
    void copyFirm();
    /// Compares the active NOR flash (/dev/mtd0) with the boot image of the
    /// firmware package /mnt/hcp/mmbfirm.tgz.
    /// @return 1 when they are equal, 0 otherwise.
    int checkNVRAM_NORVersion();
    /// Records the outcome of a firmware update as an error log file and
    /// commits it in NVRAM (flush) when the update mode was 'F' or 'R': an
    /// update that came up, or one rolled back. Call it once the board runs.
    void setFirmUpInfo();
    /// Rolls back a firmware update ('F') that did not come up: the previous
    /// HCP and boot ROM bank boot next. Does nothing in any other update
    /// mode. Call it before setDownLog and the reboot.
    void setFirmUpRecovery();
    /// Records whether the new boot program started (bootRomChangeResult),
    /// given the bank the board booted from (InitMMBBootROM::bankNo).
    void generateBootChg(unsigned char bootedBank);
    ///@}

    /// NVRAM bytes 0..31 as this object holds them.
    FirmwareHeader header = {};
    FirmwareHeader savedHeader = {};  ///< header as last read or written; flush merges against it
    uint8_t mmbId = 0;                ///< this board's MMB number
    int32_t activeMode = 0;           ///< 0 Active, other Standby
    uint32_t startupFlag = 1;         ///< cleared by the nvram command
    /// AC_ON or REBOOT, judged by initialize().
    uint8_t bootCause = AC_ON;
    uint8_t rebootCount = 0;          ///< NVRAM byte 32
    uint8_t suppressMode = 0;         ///< NVRAM byte 33
    /// initialize() has run.
    bool initialized = false;
    bool firmUpdating = false;        ///< at start-up: 'F' with the firmware exchange flag set
    int32_t recoveryKind = 0;         ///< at start-up in 'R': 2 firmware exchanged, else 3
    /// The start-up error record: down log, log area and update snapshot.
    struct initError initError = {};
    uint8_t startPhase = 0;           ///< written by process supervision
    uint8_t monitorStep = 0;          ///< written by process supervision
    int32_t cpldMode70 = 0;           ///< bits 0-1 of register 0x70: 1, 2, or 0
    uint8_t vlanMode = 0;             ///< NVRAM byte 318
    uint16_t norWord0 = 0;            ///< /dev/mram3 bytes 0..1
    uint16_t norWord1 = 0;            ///< /dev/mram3 bytes 2..3
    uint8_t boardVersion = 0;         ///< CPLD version
    uint8_t norCopyError = 0;         ///< NOR_COPY_*: outcome of the standby NOR copy
    uint8_t nandCopyError = 0;        ///< NAND_COPY_*: outcome of the standby HCP copy
    uint8_t powerOnFlag = 0;          ///< 1 when AC-ON was judged

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
