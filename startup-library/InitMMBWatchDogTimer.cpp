#include "InitMMBWatchDogTimer.h"

#include "BoardRegisters.h"
#include "CpldAccess.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"

#include "board_devices.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Code bytes of the watchdog's records: reporter, failing step, then 6,
// 0 or 0x10, 1 and the low byte of errno.
constexpr uint8_t REPORTER = 2;
constexpr uint8_t STEP_READ = 1;
constexpr uint8_t STEP_WRITE = 2;
constexpr uint8_t STEP_OPEN = 3;
constexpr uint8_t ON_CONTROL = 0x10;  // the access was to the control word, or a write
constexpr uint8_t ON_FLAG = 0;

uint8_t mmbId()
{
    return InitMMBFirm::getInstance()->mmbId;
}

} // namespace

InitMMBWatchDogTimer* InitMMBWatchDogTimer::instance = nullptr;

InitMMBWatchDogTimer* InitMMBWatchDogTimer::getInstance()
{
    if (instance == nullptr)
        instance = new InitMMBWatchDogTimer();
    return instance;
}

// GCOVR_EXCL_START: the single instance is never destroyed
InitMMBWatchDogTimer::~InitMMBWatchDogTimer()
{
    if (fd >= 0)
        close(fd);
}
// GCOVR_EXCL_STOP

void InitMMBWatchDogTimer::fail(const char* text, int error, uint8_t step, uint8_t detail)
{
    InitTraceHandler::getInstance()->output(20011, 0, text, error);
    closeWdt();
    throw new InitErrorLog(1, mmbId(), REPORTER, step, 6, detail, 1, static_cast<unsigned char>(error & 0xFF));
}

void InitMMBWatchDogTimer::openWdt()
{
    if (fd < 0) {
        fd = open(CPLD_DEVICE, O_RDWR | O_CLOEXEC);
        if (fd == -1) {
            InitTraceHandler::getInstance()->output(20011, 0, "stopWatchDogTimer:open", errno);
            throw new InitErrorLog(1, mmbId(), REPORTER, STEP_OPEN, 0, 0, 0, 0);
        }
    }
    if (cpldRead(fd, reg::WDT_CONTROL, wdtControl) != 0)
        fail("stopWatchDogTimer:ioctl(read)", errno, STEP_READ, ON_CONTROL);
    uint16_t resetType = 0;
    if (cpldRead(fd, reg::RESET_TYPE, resetType) != 0)
        fail("stopWatchDogTimer:ioctl(read)", errno, STEP_READ, ON_FLAG);
    wdtError = resetType & INITDEF_WDT_CTR_ERROR;
    if (initialControl == NOT_READ)
        initialControl = wdtControl;
    if (initialError == NOT_READ)
        initialError = wdtError;
}

void InitMMBWatchDogTimer::stopWdt()
{
    wdtControl |= INITDEF_WDT_CTR_DISABLE;
    if (cpldWrite(fd, reg::WDT_CONTROL, wdtControl) != 0)
        fail("stopWatchDogTimer:ioctl(write)", errno, STEP_WRITE, ON_CONTROL);
}

void InitMMBWatchDogTimer::resetWdtError()
{
    uint16_t value = 0;
    if (cpldRead(fd, reg::RESET_TYPE, value) != 0)
        fail("stopWatchDogTimer:ioctl(read)", errno, STEP_READ, ON_FLAG);
    // Power-on flag written as 0, error flag as 1 (which clears it), the rest as read.
    wdtError = static_cast<uint16_t>((value & ~(reg::POWER_ON_FLAG | INITDEF_WDT_CTR_ERROR)) | INITDEF_WDT_CTR_ERROR);
    if (cpldWrite(fd, reg::RESET_TYPE, wdtError) == 0)
        return;
    int error = errno;
    closeWdt();
    char text[64];
    snprintf(text, sizeof text, "stopWatchDogTimer[error no=%d]", error);
    InitTraceHandler::getInstance()->output(20013, 0, text, "error bit clear");
    throw new InitErrorLog(1, mmbId(), REPORTER, STEP_WRITE, 6, ON_CONTROL, 1, static_cast<unsigned char>(errno & 0xFF));
}

void InitMMBWatchDogTimer::closeWdt()
{
    if (fd != -1) {
        close(fd);
        fd = -1;
    }
}
