// The firmware state object on a simulated board's devices.
#include "InProcessBoard.h"
#include "InitErrorLog.h"
#include "InitMMBFirm.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes ID_BLOCK = {0x4D, 0x20, 0x4D, 0x4D, 0x42, 0x49, 0x6E, 0x69, 0x74, 0x00};

class Firm : public InProcessBoard {
protected:
    void SetUp() override
    {
        InProcessBoard::SetUp();
        board_->setReg(0x600, 0x0000);  // a reboot: no shell command runs
    }

    void storeHeader(const Bytes& header) const
    {
        board_->patchNvram(0, 0, header);
        board_->patchNvram(0, 496, ID_BLOCK);
    }
    Bytes nvram(std::size_t offset, std::size_t length) const
    {
        Bytes all = board_->nvram(0);
        return Bytes(all.begin() + static_cast<long>(offset), all.begin() + static_cast<long>(offset + length));
    }
    InitMMBFirm firm_;
};

// A failing NVRAM device ends the check, the rebuild and the write with
// -1, and the partition keeps what it held.
TEST_F(Firm, nvram_device_failures_end_the_step_with_minus_one)
{
    struct Case {
        const char* fault;
        bool badChecksum;  // reads fail with EIO until the driver regenerates it
        int (InitMMBFirm::*step)();
    };
    const Case cases[] = {
        {"open mram0 EIO", false, &InitMMBFirm::checkNVRAM},
        {"mram-request 0 checksum EIO", true, &InitMMBFirm::checkNVRAM},
        {"open mram0 EIO", false, &InitMMBFirm::initNVRAM0},
        {"mram-request 0 init EIO", false, &InitMMBFirm::initNVRAM0},
        {"open mram0 EIO", false, &InitMMBFirm::flush},
    };
    storeHeader({'F', 0, 1});
    for (const Case& c : cases) {
        Bytes before = board_->nvram(0);
        if (c.badChecksum)
            board_->spoilNvramChecksum(0);
        board_->addFault(c.fault);
        firm_.header.firmUpMode = 0;
        EXPECT_EQ((firm_.*c.step)(), -1) << c.fault << " " << &c - cases;
        board_->clearFaults();
        EXPECT_EQ(board_->nvram(0), before) << &c - cases;
    }
}

TEST_F(Firm, reset_type_bits_are_cleared_from_the_value_just_read)
{
    board_->setReg(0x600, 0x00C0);
    firm_.powerOnFlag = 1;
    firm_.resetPowerOnFlag();
    EXPECT_EQ(board_->cpldWrites(), std::vector<std::string>{"0x0600 0x0040"});
    EXPECT_EQ(firm_.powerOnFlag, 0);
    const std::pair<const char*, std::string> failures[] = {
        {"cpld-read 0x600 EIO", "RUN# 20011 reset power on flag of MMB Reset Type register:ioctl(write) 5"},
        {"cpld-write 0x600 EACCES", "RUN# 20011 reset power on flag of MMB Reset Type register:ioctl(write) 13"},
        {"missing cpld", "RUN# 20011 stopWatchDogTimer:open 2"},
    };
    for (const auto& [fault, trace] : failures) {
        board_->clearFaults();
        board_->addFault(fault);
        clearTraces();
        firm_.clearResetTypeRegster(0x40);
        EXPECT_EQ(board_->cpldWrites().size(), 1u) << fault;  // never written without a read
        EXPECT_EQ(traces(), std::vector<std::string>{trace});
    }
}

// Nothing to merge against: the object's own header is written as it is.
TEST_F(Firm, flush_without_a_readable_header_writes_its_own)
{
    storeHeader({'F', 0, 1});
    board_->spoilNvramChecksum(0);
    EXPECT_EQ(firm_.flush(), 0);
    EXPECT_EQ(nvram(0, 3), Bytes(3, 0));
    EXPECT_EQ(traces(), std::vector<std::string>{"RUN# 20011 flush:read header 5"});
}

TEST_F(Firm, down_log_is_stored_big_endian_with_its_flag)
{
    storeHeader(Bytes(32, 0));
    auto* record = new InitErrorLog(2, 1, 4, 1, 0, 0, 0, 0);
    record->time = {1593835520, 123456};
    firm_.setDownLog(record);
    EXPECT_EQ(nvram(36, 20), (Bytes{0, 0, 0, 1, 0x5F, 0, 0, 0, 0, 1, 0xE2, 0x40, 2, 0xF1, 4, 1, 0, 0, 0, 0}));
}

TEST_F(Firm, vlan_mode_is_written_alone)
{
    EXPECT_EQ(firm_.setVLANMode(0x103), 1);
    EXPECT_EQ(firm_.getVLANMode(), 3);
    uint8_t stored = 0;
    EXPECT_EQ(firm_.readNVRAM_BOOT(318, &stored, 1), 1);
    EXPECT_EQ(stored, 3);
    EXPECT_EQ(nvram(0, 32), Bytes(32, 0));
}

// A fresh board's NVRAM is rebuilt, its boot bank taken from register
// 0x600; an unreadable board version keeps the one held.
TEST_F(Firm, load_decodes_board_registers)
{
    struct Case {
        uint16_t number, mode, resetType, version;  // registers 0x72, 0x70, 0x600, 0x76
        const char* fault;
        int mmbId, cpldMode, bank;
        uint8_t boardVersion;
        bool twoNic;
    };
    const Case cases[] = {
        {0x01FF, 0x0006, 0x2000, 0x04B0, "", 1, 2, 1, 0x4B, true},
        {0x0100, 0x0005, 0x0000, 0x04A0, "", 1, 1, 0, 0x4A, false},
        {0x00FF, 0x0007, 0x2000, 0x0FF0, "cpld-read 0x600 EIO", 0, 0, 0, 0xFF, true},
        {0x0200, 0x0001, 0x0000, 0x0000, "cpld-read 0x70 EIO times 1", 0, 0, 0, 0, false},
        {0x0100, 0x0002, 0x0000, 0x0FF0, "cpld-read 0x72 EIO", 0, 2, 0, 0xFF, true},
        {0x0100, 0x0002, 0x0000, 0x0FF0, "cpld-read 0x76 EIO", 1, 2, 0, 0x11, false},
    };
    for (const Case& c : cases) {
        board_->setReg(0x72, c.number);
        board_->setReg(0x70, c.mode);
        board_->setReg(0x600, c.resetType);
        board_->setReg(0x76, c.version);
        board_->patchNvram(0, 496, Bytes(10, 0));
        board_->clearFaults();
        if (*c.fault != '\0')
            board_->addFault(c.fault);
        InitMMBFirm firm;
        firm.boardVersion = 0x11;
        firm.initialize();
        EXPECT_EQ(firm.mmbId, c.mmbId) << &c - cases;
        EXPECT_EQ(firm.cpldMode70, c.cpldMode) << &c - cases;
        EXPECT_EQ(firm.header.currentBootRom, c.bank) << &c - cases;
        EXPECT_EQ(firm.boardVersion, c.boardVersion) << &c - cases;
        EXPECT_EQ(firm.isTwoNICMode(), c.twoNic) << &c - cases;
    }
}

TEST_F(Firm, load_takes_nor_words_and_the_update_snapshot)
{
    storeHeader({'F', 1, 0, 1, 0, 1, 1, 0, 0, 0, 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'B'});
    uint8_t norWords[] = {0x12, 0x34, 0xAB, 0xCD};
    EXPECT_EQ(firm_.writeNVRAM_NOR(0, norWords, 4), 4);
    firm_.initialize();
    EXPECT_EQ(firm_.norWord0, 0x1234);
    EXPECT_EQ(firm_.norWord1, 0xABCD);
    EXPECT_TRUE(firm_.firmUpdating);
    // The start-up record: the header as the start found it, nothing else.
    Bytes snapshot(380, 0);
    snapshot[348] = 'F', snapshot[350] = 1, snapshot[351] = 1, snapshot[353] = 1, snapshot[355] = 'A', snapshot[366] = 'B';
    uint8_t packed[380];
    firm_.initError.pack(packed);
    EXPECT_EQ(Bytes(packed, packed + 380), snapshot);
}

TEST_F(Firm, recovery_kind_follows_the_firmware_exchange_flag)
{
    const std::pair<uint8_t, int32_t> cases[] = {{1, 2}, {0, 3}};
    for (auto [firmChange, kind] : cases) {
        InitMMBFirm firm;
        storeHeader({'R', 0, 0, 0, 0, 0, firmChange});
        firm.initialize();
        EXPECT_EQ(firm.recoveryKind, kind);
        EXPECT_FALSE(firm.firmUpdating);
    }
}

TEST_F(Firm, second_initialize_reads_nothing)
{
    storeHeader({0, 1, 1});
    firm_.initialize();
    board_->addFault("missing mram0 times 1");
    board_->addFault("missing cpld times 1");
    firm_.initialize();
    EXPECT_EQ(board_->faults().size(), 2u);  // neither device was opened
    EXPECT_EQ(firm_.header.nextHcpNo, 1);
}

TEST_F(Firm, start_up_record_packs_to_its_380_byte_form)
{
    struct InitMMBFirm::initError record = {};
    record.flag = 0x01;
    record.downLogFlag = 1;
    record.downLog[0] = 0x5F;
    record.logCount = -2;
    record.logEntries[255] = 0xEE;
    record.firmUpModeAtStart = 'F';
    record.prevNextHcpNo = 1;
    InitMMBFirm::setRevision(record.prevCurrentHcpRev, "V01");
    InitMMBFirm::setRevision(record.prevNextHcpRev, "ABCDEFGHIJKLM");
    uint8_t packed[380];
    record.pack(packed);
    Bytes expected(380, 0);
    expected[0] = 0x01;
    expected[71] = 1;
    expected[72] = 0x5F;
    expected[88] = expected[89] = expected[90] = 0xFF;
    expected[91] = 0xFE;
    expected[347] = 0xEE;
    expected[348] = 'F';
    expected[354] = 1;
    expected[355] = 'V', expected[356] = '0', expected[357] = '1';
    for (int i = 0; i < 11; ++i)
        expected[366 + i] = static_cast<uint8_t>('A' + i);
    EXPECT_EQ(Bytes(packed, packed + 380), expected);

    struct InitMMBFirm::initError back = {};
    back.unpack(packed);
    uint8_t again[380];
    back.pack(again);
    EXPECT_EQ(Bytes(again, again + 380), expected);
}

} // namespace
