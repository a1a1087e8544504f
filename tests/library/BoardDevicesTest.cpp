// The watchdog timer, boot ROM bank selection and board number on a
// simulated board's devices (the device shim is preloaded).
#include "InProcessBoard.h"
#include "InitMMBBootROM.h"
#include "InitMMBFirm.h"
#include "InitMMBID.h"
#include "InitMMBWatchDogTimer.h"
#include "ThrownRecord.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

class BoardDevices : public InProcessBoard {
protected:
    void SetUp() override
    {
        InProcessBoard::SetUp();
        board_->setReg(0x600, 0x0000);
        InitMMBFirm::getInstance()->mmbId = 1;
        watchdog_ = InitMMBWatchDogTimer::getInstance();
        watchdog_->closeWdt();
        watchdog_->wdtControl = watchdog_->wdtError = 0;
        watchdog_->initialControl = watchdog_->initialError = InitMMBWatchDogTimer::NOT_READ;
        bootRom_ = InitMMBBootROM::getInstance();
        bootRom_->bankNo = InitMMBBootROM::BANK_UNKNOWN;
        bootRom_->initialized = bootRom_->wdtErrorAtBoot = false;
    }
    void TearDown() override
    {
        watchdog_->closeWdt();
        InProcessBoard::TearDown();
    }

    InitMMBWatchDogTimer* watchdog_ = nullptr;
    InitMMBBootROM* bootRom_ = nullptr;
};

TEST_F(BoardDevices, watchdog_keeps_the_values_it_first_read)
{
    board_->setReg(0x600, 0x0180);
    board_->setReg(0x610, 0x0005);
    watchdog_->openWdt();
    EXPECT_EQ(watchdog_->wdtError, 0x0100);
    EXPECT_EQ(watchdog_->initialError, 0x0100);
    EXPECT_EQ(watchdog_->initialControl, 0x0005);
    int fd = watchdog_->fd;
    EXPECT_GE(fd, 0);

    board_->setReg(0x600, 0x0080);
    board_->setReg(0x610, 0x0007);
    watchdog_->openWdt();
    EXPECT_EQ(watchdog_->fd, fd);  // the descriptor stays open
    EXPECT_EQ(watchdog_->wdtError, 0);
    EXPECT_EQ(watchdog_->initialError, 0x0100);
    EXPECT_EQ(watchdog_->wdtControl, 0x0007);
    EXPECT_EQ(watchdog_->initialControl, 0x0005);
}

TEST_F(BoardDevices, watchdog_writes_the_disable_bit_and_clears_the_error_flag)
{
    board_->setReg(0x610, 0x0005);
    board_->setReg(0x600, 0x2180);
    watchdog_->openWdt();
    watchdog_->stopWdt();
    watchdog_->resetWdtError();
    EXPECT_EQ(board_->cpldWrites(), (std::vector<std::string>{"0x0610 0x0085", "0x0600 0x2100"}));
    EXPECT_EQ(watchdog_->wdtError, 0x2100);
}

struct WatchdogFailure {
    const char* what;
    const char* fault;
    bool openFirst;                  // a successful openWdt before the fault is armed
    void (InitMMBWatchDogTimer::*operation)();
    Bytes record;                    // kind, unit code, code bytes
    std::string trace;
};

TEST_F(BoardDevices, each_watchdog_failure_is_traced_closed_and_thrown)
{
    using W = InitMMBWatchDogTimer;
    const WatchdogFailure cases[] = {
        {"open", "missing cpld", false, &W::openWdt, {1, 0xF1, 2, 3, 0, 0, 0, 0}, "RUN# 20011 stopWatchDogTimer:open 2"},
        {"read control", "cpld-read 0x610 EIO", false, &W::openWdt, {1, 0xF1, 2, 1, 6, 0x10, 1, 5},
         "RUN# 20011 stopWatchDogTimer:ioctl(read) 5"},
        {"read flag", "cpld-read 0x600 EACCES", false, &W::openWdt, {1, 0xF1, 2, 1, 6, 0, 1, 13},
         "RUN# 20011 stopWatchDogTimer:ioctl(read) 13"},
        {"write control", "cpld-write 0x610 EIO", true, &W::stopWdt, {1, 0xF1, 2, 2, 6, 0x10, 1, 5},
         "RUN# 20011 stopWatchDogTimer:ioctl(write) 5"},
        {"stop before open", "", false, &W::stopWdt, {1, 0xF1, 2, 2, 6, 0x10, 1, 9},
         "RUN# 20011 stopWatchDogTimer:ioctl(write) 9"},
        {"read flag to clear", "cpld-read 0x600 EIO", true, &W::resetWdtError, {1, 0xF1, 2, 1, 6, 0, 1, 5},
         "RUN# 20011 stopWatchDogTimer:ioctl(read) 5"},
        {"write flag", "cpld-write 0x600 EIO", true, &W::resetWdtError, {1, 0xF1, 2, 2, 6, 0x10, 1, 5},
         "RUN# 20013 stopWatchDogTimer[error no=5] error bit clear"},
    };
    for (const WatchdogFailure& c : cases) {
        board_->clearFaults();
        clearTraces();
        watchdog_->closeWdt();
        if (c.openFirst)
            watchdog_->openWdt();
        if (*c.fault != '\0')
            board_->addFault(c.fault);
        InitMMBWatchDogTimer* watchdog = watchdog_;
        auto operation = c.operation;
        EXPECT_EQ(thrownRecord([watchdog, operation] { (watchdog->*operation)(); }), c.record) << c.what;
        EXPECT_EQ(watchdog_->fd, -1) << c.what;
        EXPECT_EQ(traces(), std::vector<std::string>{c.trace}) << c.what;
    }
}

TEST_F(BoardDevices, boot_rom_reads_the_bank_in_use_once)
{
    const std::pair<uint16_t, uint8_t> cases[] = {{0x2000, 1}, {0x0000, 0}, {0xDFFF, 0}};
    for (auto [resetType, bank] : cases) {
        board_->setReg(0x600, resetType);
        bootRom_->initialized = false;
        clearTraces();
        bootRom_->initialize();
        EXPECT_EQ(bootRom_->bankNo, bank) << std::hex << resetType;
        EXPECT_TRUE(bootRom_->initialized);
        EXPECT_EQ(traces(), std::vector<std::string>{"DBG# 20002 read GPIO current NOR boot bank:(" +
                                                     std::to_string(bank) + ")"});
    }
    board_->addFault("missing cpld times 1");
    bootRom_->initialize();
    EXPECT_EQ(board_->faults().size(), 1u);  // nothing read the second time

    board_->clearFaults();
    board_->setReg(0x600, 0x2000);
    board_->addFault("cpld-read 0x600 EIO times 1");  // only the bank read fails
    bootRom_->initialized = false;
    bootRom_->initialize();
    EXPECT_EQ(bootRom_->bankNo, 0);
}

TEST_F(BoardDevices, boot_with_the_watchdog_error_is_recorded_once)
{
    board_->setReg(0x600, 0x2100);
    bootRom_->initialize();
    EXPECT_TRUE(bootRom_->wdtErrorAtBoot);
    EXPECT_EQ(errorLogCodes(*board_), std::vector<Bytes>{Bytes({2, 0xF1, 0x19, 1, 0, 0, 0, 0})});
    EXPECT_EQ(traces()[1], "RUN# 20003 MMB boot (WatchDogTimer Error Bit=ON)");
}

TEST_F(BoardDevices, watchdog_failure_leaves_boot_rom_uninitialised)
{
    board_->addFault("cpld-read 0x610 EIO");
    EXPECT_EQ(thrownRecord([&] { bootRom_->initialize(); }), (Bytes{1, 0xF1, 2, 1, 6, 0x10, 1, 5}));
    EXPECT_FALSE(bootRom_->initialized);
}

TEST_F(BoardDevices, transient_selection_failure_is_retried_six_times_then_stored)
{
    board_->addFault("eeprom-select 2 4 times 6");
    bootRom_->bankNo = 0;
    bootRom_->setBankNo(1);
    std::vector<std::string> expected;
    for (int attempt = 0; attempt < 6; ++attempt) {
        expected.push_back("RUN# 20003 set led");
        expected.push_back("RUN# 20003 InitMMBBootROM::setBankNo[1] (act=2,detail=4)");
    }
    expected.push_back("RUN# 20002 Selected BootBank No.=1");
    EXPECT_EQ(traces(), expected);
    EXPECT_TRUE(errorLogCodes(*board_).empty());
    EXPECT_EQ(bootRom_->bankNo, 0);
    EXPECT_EQ(board_->eepromBootBank(), 0);

    clearTraces();
    bootRom_->setBankNo(1);  // a seventh attempt succeeds: stored and remembered
    EXPECT_EQ(board_->eepromBootBank(), 1);
    EXPECT_EQ(bootRom_->bankNo, 1);
    EXPECT_EQ(traces(), std::vector<std::string>{"RUN# 20002 Selected BootBank No.=1"});
}

TEST_F(BoardDevices, other_selection_failures_are_recorded_without_retry)
{
    // The bank held before the selection, and what the failure traces.
    const std::tuple<const char*, uint8_t, std::string> cases[] = {
        {"eeprom-select 2 5 times 2", 0, "RUN# 20003 InitMMBBootROM::setBankNo[1] (act=2,detail=5)"},
        {"eeprom-select 3 4 times 2", 0, "RUN# 20003 InitMMBBootROM::setBankNo[1] (act=3,detail=4)"},
        {"eeprom-select foreign times 2", 0, "RUN# 20003 Writing No[=1] of bootrom bank to EEPROM"},
        {"eeprom-select foreign times 2", 1, "RUN# 20003 Writing No[=0] of bootrom bank to EEPROM"},
    };
    for (auto [fault, held, trace] : cases) {
        board_->clearFaults();
        fs::remove_all(board_->boardPath("/var/mmb/log/init"));
        fs::create_directories(board_->boardPath("/var/mmb/log/init"));
        clearTraces();
        board_->addFault(fault);
        bootRom_->bankNo = held;
        bootRom_->setBankNo(1);
        EXPECT_EQ(board_->faults().size(), 1u) << fault;  // one attempt only
        EXPECT_EQ(traces().back(), "RUN# 20002 Selected BootBank No.=1") << fault;
        EXPECT_EQ(traces()[traces().size() - 2], trace) << fault;
        EXPECT_EQ(errorLogCodes(*board_), std::vector<Bytes>{Bytes({2, 0xF1, 4, 1, 0, 0, 0, 0})}) << fault;
        EXPECT_EQ(bootRom_->bankNo, held) << fault;
    }
}

TEST_F(BoardDevices, board_number_is_bit_8_of_register_0x72)
{
    const std::pair<uint16_t, int> cases[] = {{0x0100, 1}, {0x01FF, 1}, {0x00FF, 0}, {0x0200, 0}};
    for (auto [reg, id] : cases) {
        board_->setReg(0x72, reg);
        EXPECT_EQ(InitMMBID().getID(), id) << std::hex << reg;
    }
    board_->setReg(0x72, 0x0100);
    board_->addFault("missing cpld");
    EXPECT_EQ(InitMMBID().getID(), 0);
}

} // namespace
