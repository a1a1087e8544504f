// The two boot ROM banks: which one the board started from, and selecting
// the one to start from next through the board library (kept in the
// board's EEPROM).
#ifndef INIT_MMB_BOOT_ROM_H
#define INIT_MMB_BOOT_ROM_H

#include <cstdint>

class InitTraceHandler;

class InitMMBBootROM {
public:
    static constexpr uint8_t BANK_UNKNOWN = 0xFF;
    static constexpr int SELECT_ATTEMPTS = 6;  // for the transient failure action 2 / detail 4
    static const char* F_FUPBOOTWORK;          // work file of a boot program update

    static InitMMBBootROM* getInstance();

    InitMMBBootROM(const InitMMBBootROM&) = delete;
    InitMMBBootROM& operator=(const InitMMBBootROM&) = delete;
    virtual ~InitMMBBootROM() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    // Once per process: the bank in use and the watchdog error at boot.
    // Lets the watchdog's InitErrorLog* through.
    void initialize();
    // Never throws; failures become error log records.
    void setBankNo(unsigned char bank);
    void copyBootRom();

    uint8_t bankNo = BANK_UNKNOWN;  // bank in use, then each bank selected successfully
    bool wdtErrorAtBoot = false;
    bool initialized = false;
    InitTraceHandler* trace = nullptr;

private:
    InitMMBBootROM() = default;
    void recordWatchdogErrorAtBoot();
    static InitMMBBootROM* instance;
};

#endif
