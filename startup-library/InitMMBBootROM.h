#ifndef INIT_MMB_BOOT_ROM_H
#define INIT_MMB_BOOT_ROM_H

#include <cstdint>

class InitTraceHandler;
namespace MMBLib::ii2c {
class MMB;
}

/// The two boot ROM banks: which one the board started from, and selecting
/// the one to start from next through the board library (kept in the
/// board's EEPROM).
class InitMMBBootROM {
public:
    /// bankNo before initialize().
    static constexpr uint8_t BANK_UNKNOWN = 0xFF;
    static constexpr int SELECT_ATTEMPTS = 6;  ///< for the transient failure action 2 / detail 4
    static const char* F_FUPBOOTWORK;          ///< work file of a boot program update

    /// The single object, created on the first call.
    static InitMMBBootROM* getInstance();

    InitMMBBootROM(const InitMMBBootROM&) = delete;
    InitMMBBootROM& operator=(const InitMMBBootROM&) = delete;
    virtual ~InitMMBBootROM() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    /// Once per process: the bank in use and the watchdog error at boot.
    /// Lets the watchdog's InitErrorLog* through.
    void initialize();
    /// Never throws; failures become error log records.
    void setBankNo(unsigned char bank);
    /// Does nothing; kept for programs that call it.
    void copyBootRom();

    uint8_t bankNo = BANK_UNKNOWN;  ///< bank in use, then each bank selected successfully
    /// The watchdog had fired before this start (found by initialize()).
    bool wdtErrorAtBoot = false;
    /// initialize() has run.
    bool initialized = false;
    /// The trace singleton.
    InitTraceHandler* trace = nullptr;

private:
    InitMMBBootROM() = default;
    void recordWatchdogErrorAtBoot();
    void selectWithRetries(MMBLib::ii2c::MMB& board, unsigned char bank);
    void failSelection(unsigned char bank);
    static InitMMBBootROM* instance;
};

#endif
