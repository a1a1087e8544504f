#ifndef INIT_MMB_WATCH_DOG_TIMER_H
#define INIT_MMB_WATCH_DOG_TIMER_H

#include <cstdint>

/// The board's watchdog timer, controlled through two board registers: the
/// control word (0x610, bit 7 disables) and the error flag (0x600 bit 8).
/// Keeps /dev/cpld open, and remembers both as the process first saw them.
class InitMMBWatchDogTimer {
public:
    static constexpr uint16_t INITDEF_WDT_CTR_ERROR = 0x0100;    ///< error flag in register 0x600
    static constexpr uint16_t INITDEF_WDT_CTR_DISABLE = 0x0080;  ///< disable bit in register 0x610
    /// initialControl and initialError before the first read.
    static constexpr uint16_t NOT_READ = 0xFFFF;

    /// The single object, created on the first call.
    static InitMMBWatchDogTimer* getInstance();

    InitMMBWatchDogTimer(const InitMMBWatchDogTimer&) = delete;
    InitMMBWatchDogTimer& operator=(const InitMMBWatchDogTimer&) = delete;
    virtual ~InitMMBWatchDogTimer();

    /// Each of openWdt, stopWdt and resetWdtError throws InitErrorLog* (new,
    /// the catcher deletes it) after a trace, with the device closed, on failure.
    ///@{
    /// Opens /dev/cpld (kept open) and reads the control word and error flag.
    void openWdt();
    /// Sets the disable bit in register 0x610. Call openWdt() first.
    void stopWdt();
    /// Clears the watchdog error flag in register 0x600. Call openWdt() first.
    void resetWdtError();
    ///@}
    /// Closes /dev/cpld; the registers stay as they are.
    void closeWdt();

    uint16_t wdtControl = 0;            ///< register 0x610 as last read (with the disable bit once stopped)
    uint16_t initialControl = NOT_READ; ///< the first control word read in this process
    uint16_t wdtError = 0;              ///< register 0x600 & 0x0100 as last read, or as last written
    uint16_t initialError = NOT_READ;   ///< the first error flag read in this process
    int32_t fd = -1;                    ///< /dev/cpld while open

private:
    InitMMBWatchDogTimer() = default;
    [[noreturn]] void fail(const char* text, int error, uint8_t step, uint8_t detail);
    static InitMMBWatchDogTimer* instance;
};

#endif
