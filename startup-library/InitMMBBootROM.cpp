#include "InitMMBBootROM.h"

#include "BoardRegisters.h"
#include "CpldAccess.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBWatchDogTimer.h"
#include "InitTraceHandler.h"

#include "MMBLib.h"

namespace {

constexpr uint8_t BOOT_WITH_WDT_ERROR = 0x19;
constexpr uint8_t SELECTION_FAILED = 4;
constexpr int TRANSIENT_ACTION = 2;
constexpr int TRANSIENT_DETAIL = 4;
constexpr unsigned char LAST_BANK = 1;

void warnSelectionFailed(unsigned char bank)
{
    InitMMBFirm* firm = InitMMBFirm::getInstance();
    firm->setWarning(new InitErrorLog(2, firm->mmbId, SELECTION_FAILED, bank, 0, 0, 0, 0));
}

} // namespace

const char* InitMMBBootROM::F_FUPBOOTWORK = "/tmp/bootfirmup.dat";

InitMMBBootROM* InitMMBBootROM::instance = nullptr;

InitMMBBootROM* InitMMBBootROM::getInstance()
{
    if (instance == nullptr)
        instance = new InitMMBBootROM();
    return instance;
}

void InitMMBBootROM::initialize()
{
    if (initialized)
        return;
    InitMMBFirm::getInstance();
    trace = InitTraceHandler::getInstance();
    uint16_t resetType = 0;
    bankNo = readCpldRegister(reg::RESET_TYPE, resetType) && (resetType & reg::BANK1_IN_USE) != 0 ? 1 : 0;
    trace->outputf(20002, 1, "read GPIO current NOR boot bank:(%x)", bankNo);

    InitMMBWatchDogTimer* watchdog = InitMMBWatchDogTimer::getInstance();
    watchdog->openWdt();
    try {
        if ((watchdog->initialError & InitMMBWatchDogTimer::INITDEF_WDT_CTR_ERROR) != 0)
            recordWatchdogErrorAtBoot();
    } catch (InitErrorLog*) {  // GCOVR_EXCL_START: recording throws on memory exhaustion alone
        throw;
    } catch (...) {
        watchdog->closeWdt();
        return;
    }  // GCOVR_EXCL_STOP
    initialized = true;
}

void InitMMBBootROM::recordWatchdogErrorAtBoot()
{
    trace->output(20003, 0, "MMB boot (WatchDogTimer Error Bit=ON)");
    InitMMBFirm* firm = InitMMBFirm::getInstance();
    firm->setWarning(new InitErrorLog(2, firm->mmbId, BOOT_WITH_WDT_ERROR, bankNo, 0, 0, 0, 0));
    wdtErrorAtBoot = true;
}

void InitMMBBootROM::setBankNo(unsigned char bank)
{
    MMBLib::ii2c::MMB* board = MMBLib::ii2c::MMB::getInstance(0);
    InitMMBFirm::getInstance();
    trace = InitTraceHandler::getInstance();
    // A bank number from a corrupted NVRAM never reaches the EEPROM.
    if (bank > LAST_BANK)
        failSelection(bank);
    else
        selectWithRetries(*board, bank);
    trace->outputf(20002, 0, "Selected BootBank No.=%d", bank);
}

void InitMMBBootROM::selectWithRetries(MMBLib::ii2c::MMB& board, unsigned char bank)
{
    for (int attempt = 0; attempt < SELECT_ATTEMPTS; ++attempt) {
        try {
            board.selectBootROM(bank);
            bankNo = bank;
            break;
        } catch (MMBLib::PException& failure) {
            int action = failure.getActionCode();
            int detail = failure.getExceptionDetail();
            trace->output(20003, 0, "set led");
            trace->outputf(20003, 0, "InitMMBBootROM::setBankNo[%d] (act=%x,detail=%x)", bank, action, detail);
            if (action == TRANSIENT_ACTION && detail == TRANSIENT_DETAIL)
                continue;
            warnSelectionFailed(bank);
            break;
        } catch (...) {
            failSelection(bank);
            break;
        }
    }
}

void InitMMBBootROM::failSelection(unsigned char bank)
{
    trace->outputf(20003, 0, "Writing No[=%d] of bootrom bank to EEPROM", bankNo == 0 ? 1 : 0);
    warnSelectionFailed(bank);
}

void InitMMBBootROM::copyBootRom() {}
