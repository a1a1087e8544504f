// The emulated drivers as a board program sees them: this test process has
// the device shim preloaded and opens the real device paths.
#include "MramPartition.h"
#include "Process.h"
#include "TestBoard.h"

#include "board_devices.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct CpldResult {
    int rc;
    int error;
    uint16_t value;
};

CpldResult cpld(unsigned long request, uint32_t reg, uint16_t value = 0)
{
    int fd = open(CPLD_DEVICE, O_RDONLY);
    if (fd < 0)
        return {-1, errno, 0};
    CpldRequest record = {reg, value, {0, 0}};
    int rc = ioctl(fd, request, &record);
    int error = errno;
    close(fd);
    return {rc, rc == 0 ? 0 : error, record.value};
}

CpldResult readReg(uint32_t reg) { return cpld(CPLD_READ, reg); }
CpldResult writeReg(uint32_t reg, uint16_t value) { return cpld(CPLD_WRITE, reg, value); }

int openMram(int partition, int flags = O_RDWR)
{
    char path[32];
    snprintf(path, sizeof path, MRAM_DEVICE_FORMAT, partition);
    return open(path, flags);
}

// Reads length bytes at offset from an NVRAM partition; empty on failure, with errno kept.
std::vector<uint8_t> readMram(int partition, off_t offset, size_t length, int* error = nullptr)
{
    int fd = openMram(partition, O_RDONLY);
    std::vector<uint8_t> bytes(length);
    ssize_t got = fd < 0 ? -1 : (lseek(fd, offset, SEEK_SET), read(fd, bytes.data(), length));
    if (error != nullptr)
        *error = got < 0 ? errno : 0;
    if (fd >= 0)
        close(fd);
    bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return bytes;
}

ssize_t writeMram(int partition, off_t offset, const std::vector<uint8_t>& bytes)
{
    int fd = openMram(partition);
    lseek(fd, offset, SEEK_SET);
    ssize_t put = write(fd, bytes.data(), bytes.size());
    close(fd);
    return put;
}

int mramRequest(int partition, unsigned long request)
{
    int fd = openMram(partition);
    int rc = ioctl(fd, request, 0);
    int error = errno;
    close(fd);
    return rc == 0 ? 0 : error;
}

class DeviceShim : public testing::Test {
protected:
    void SetUp() override { board_.useInProcess(); }
    TestBoard board_;
};

TEST_F(DeviceShim, register_writes_are_stored_big_endian_logged_in_order_and_clear_the_watchdog_flag)
{
    EXPECT_EQ(writeReg(0x610, 0x0085).rc, 0);
    EXPECT_EQ(writeReg(0x70, 0x2102).rc, 0);
    EXPECT_EQ(readReg(0x610).value, 0x0085);
    std::string registers = sim::readFile(board_->path("hw/cpld"));
    EXPECT_EQ(registers.substr(0x70 * 2, 2), std::string("\x21\x02", 2));
    EXPECT_EQ(board_->cpldWrites(), (std::vector<std::string>{"0x0610 0x0085", "0x0070 0x2102"}));

    // The watchdog error flag (0x600 bit 8) is cleared by writing 1 to it
    // and kept when written as 0; the other bits take what is written.
    struct Case {
        uint16_t before;
        uint16_t written;
        uint16_t after;
    };
    const Case cases[] = {
        {0x0180, 0x0080, 0x0180},  // the boot-cause judgement's write keeps it
        {0x2180, 0x2100, 0x2000},  // resetPowerOnFlag writes it back as read: cleared
        {0x0180, 0x0100, 0x0000},  // resetWdtError
        {0x0000, 0x0100, 0x0000},
        {0x0100, 0x2080, 0x2180},
    };
    for (const Case& c : cases) {
        board_->setReg(0x600, c.before);
        EXPECT_EQ(writeReg(0x600, c.written).rc, 0);
        EXPECT_EQ(board_->reg(0x600), c.after) << std::hex << c.before << " " << c.written;
    }
}

TEST_F(DeviceShim, register_device_refuses_what_its_driver_does_not_know_and_what_a_fault_names)
{
    CpldResult result = readReg(0x1000);
    EXPECT_EQ(result.rc, -1);
    EXPECT_EQ(result.error, EINVAL);
    EXPECT_EQ(cpld(MRAM_INITIALIZE, 0x600).error, ENOTTY);
    int fd = open(CPLD_DEVICE, O_RDWR);
    char byte = 0;
    EXPECT_EQ(read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    close(fd);

    board_->addFault("cpld-read 0x600 EIO");
    board_->addFault("cpld-write 0x610 EACCES");
    EXPECT_EQ(readReg(0x600).error, EIO);
    EXPECT_EQ(readReg(0x610).rc, 0);
    EXPECT_EQ(writeReg(0x610, 0x0080).error, EACCES);
    EXPECT_EQ(readReg(0x610).value, 0x0000);
    EXPECT_EQ(writeReg(0x600, 0x0000).rc, 0);
    EXPECT_EQ(board_->cpldWrites(), std::vector<std::string>{"0x0600 0x0000"});
}

TEST_F(DeviceShim, devices_missing_busy_or_without_a_board_fail_to_open)
{
    board_->addFault("missing cpld");
    board_->addFault("open mram2 EBUSY");
    EXPECT_EQ(readReg(0x600).error, ENOENT);
    EXPECT_EQ(openMram(2), -1);
    EXPECT_EQ(errno, EBUSY);
    int fd = openMram(1);
    EXPECT_GE(fd, 0);
    close(fd);
    unsetenv("MMBSIM_BOARD");  // without a board there are no devices
    board_->clearFaults();
    EXPECT_EQ(readReg(0x600).error, ENOENT);
}

TEST_F(DeviceShim, nvram_partitions_are_byte_addressed_and_bounded)
{
    EXPECT_EQ(writeMram(0, 496, {0x4D, 0x20, 0x4D}), 3);
    EXPECT_EQ(readMram(0, 495, 5), (std::vector<uint8_t>{0, 0x4D, 0x20, 0x4D, 0}));
    EXPECT_EQ(readMram(3, 0, 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    // A write that runs past the end stops there; one that starts there fails.
    EXPECT_EQ(writeMram(1, sim::MramPartition::SIZE - 2, {1, 2, 3}), 2);
    EXPECT_EQ(writeMram(1, sim::MramPartition::SIZE, {1}), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(board_->nvram(1).size(), sim::MramPartition::SIZE);

    int fd = openMram(0, O_RDONLY);
    uint8_t byte = 1;
    EXPECT_EQ(write(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EBADF);
    close(fd);
    EXPECT_TRUE(board_->nvramChecksumValid(0));
}

// A bad checksum fails reads until the driver regenerates it; a write
// does not mend it. Initialising clears and mends the partition; a failing
// request leaves it as it was.
TEST_F(DeviceShim, nvram_requests_regenerate_the_checksum_or_clear_the_partition)
{
    writeMram(0, 10, {0x56, 0x31});
    board_->spoilNvramChecksum(0);
    int error = 0;
    EXPECT_TRUE(readMram(0, 10, 2, &error).empty());
    EXPECT_EQ(error, EIO);
    writeMram(0, 12, {0x32});
    readMram(0, 10, 2, &error);
    EXPECT_EQ(error, EIO);
    board_->addFault("mram-request 0 checksum EIO times 1");
    board_->addFault("mram-request 0 init ENXIO");
    EXPECT_EQ(mramRequest(0, MRAM_GENERATE_CHECKSUM), EIO);
    EXPECT_EQ(mramRequest(0, MRAM_INITIALIZE), ENXIO);
    EXPECT_FALSE(board_->nvramChecksumValid(0));
    EXPECT_EQ(mramRequest(1, MRAM_GENERATE_CHECKSUM), 0);
    EXPECT_EQ(mramRequest(0, CPLD_READ), ENOTTY);
    EXPECT_EQ(mramRequest(0, MRAM_GENERATE_CHECKSUM), 0);
    EXPECT_EQ(readMram(0, 10, 3, &error), (std::vector<uint8_t>{0x56, 0x31, 0x32}));
    EXPECT_EQ(error, 0);

    writeMram(2, 0, {1, 2, 3});
    board_->spoilNvramChecksum(2);
    EXPECT_EQ(mramRequest(2, MRAM_INITIALIZE), 0);
    EXPECT_EQ(board_->nvram(2), std::vector<uint8_t>(sim::MramPartition::SIZE, 0));
    EXPECT_EQ(readMram(2, 0, 3), (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(DeviceShim, power_cut_picks_its_write_and_leaves_a_torn_one_with_a_bad_checksum)
{
    // Two writes of four bytes each, at 0 and at 4, over 01 11 11 11 11 11 11 11.
    struct Case {
        const char* fault;
        std::vector<uint8_t> stored;  // bytes 0..7 afterwards
        bool checksumValid;
        const char* event;
    };
    const Case cases[] = {
        {"mram-cut 0 2", {1, 2, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, false, "power-lost /dev/mram0 after 2 bytes"},
        {"mram-cut 0 1", {1, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, false, "power-lost /dev/mram0 after 1 bytes"},
        {"mram-cut 0 3 after 2", {1, 2, 3, 4, 5, 6, 7, 0x11}, false, "power-lost /dev/mram0 after 3 bytes"},
        {"mram-cut 0 1 after 2", {1, 2, 3, 4, 5, 0x11, 0x11, 0x11}, false, "power-lost /dev/mram0 after 1 bytes"},
        {"mram-cut 0 0 after 2", {1, 2, 3, 4, 0x11, 0x11, 0x11, 0x11}, true, "power-lost /dev/mram0 after 0 bytes"},
        {"mram-cut 0 4", {1, 2, 3, 4, 0x11, 0x11, 0x11, 0x11}, true, "power-lost /dev/mram0 after 4 bytes"},
        {"mram-cut 0 4095 after 2", {1, 2, 3, 4, 5, 6, 7, 8}, true, "power-lost /dev/mram0 after 4 bytes"},
    };
    for (const Case& c : cases) {
        sim::MramPartition(board_->directory().c_str(), 0).create();
        board_->patchNvram(0, 0, {1, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11});
        std::filesystem::remove(board_->path("log/events"));
        board_->addFault(c.fault);
        pid_t child = fork();
        if (child == 0) {
            writeMram(1, 0, {9});  // a cut counts the writes of its own partition only
            writeMram(0, 0, {1, 2, 3, 4});
            writeMram(0, 4, {5, 6, 7, 8});
            _exit(0);  // not reached: the power went
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << c.fault;
        std::vector<uint8_t> stored = board_->nvram(0);
        EXPECT_EQ(std::vector<uint8_t>(stored.begin(), stored.begin() + 8), c.stored) << c.fault;
        EXPECT_EQ(board_->nvramChecksumValid(0), c.checksumValid) << c.fault;
        EXPECT_EQ(board_->events(), std::vector<std::string>{c.event}) << c.fault;
        EXPECT_TRUE(board_->faults().empty()) << c.fault;
    }
}

TEST_F(DeviceShim, another_program_writes_between_two_opens)
{
    board_->addFault("mram-change 0 2 01ab after 2");
    EXPECT_EQ(readMram(0, 0, 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(readMram(0, 0, 4), (std::vector<uint8_t>{0, 0, 0x01, 0xAB}));
    EXPECT_TRUE(board_->nvramChecksumValid(0));
    EXPECT_TRUE(board_->faults().empty());
}

TEST_F(DeviceShim, streams_on_devices_go_through_the_driver)
{
    writeMram(3, 0, {0x12, 0x34});
    FILE* stream = fopen("/dev/mram3", "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(fgetc(stream), 0x12);
    EXPECT_EQ(fgetc(stream), 0x34);
    fclose(stream);
    board_->spoilNvramChecksum(3);
    stream = fopen("/dev/mram3", "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(fgetc(stream), EOF);
    EXPECT_TRUE(ferror(stream));
    fclose(stream);
}

TEST_F(DeviceShim, nor_flash_devices_are_the_board_images)
{
    int fd = open("/dev/mtd1", O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "\xff\xff", 2), 2);
    close(fd);
    std::string image = sim::readFile(board_->path("hw/mtd1"));
    EXPECT_EQ(image.size(), sim::SimBoard::NOR_SIZE);  // a device is never truncated
    EXPECT_EQ(image.substr(0, 2), "\xff\xff");
}

TEST_F(DeviceShim, successful_device_calls_leave_errno_as_it_was)
{
    board_->setClock(1000, 5000, 1);
    errno = EINTR;
    EXPECT_EQ(readReg(0x600).rc, 0);
    std::vector<uint8_t> bytes = readMram(0, 0, 1);
    timeval now;
    gettimeofday(&now, nullptr);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(now.tv_sec, 1000);
    EXPECT_EQ(now.tv_usec, 5000);
    gettimeofday(&now, nullptr);
    EXPECT_EQ(now.tv_usec, 5001);  // the board clock moves one step per reading
}

// A board clock holds any second a stored 32-bit field can, and a board
// program reads it whole on either side of 2038-01-19 03:14:08.
TEST_F(DeviceShim, board_clock_reads_every_second_of_the_stored_fields)
{
    for (const char* seconds : {"2147483647", "2147483648", "2208988800", "4260211200", "4294967295"}) {
        ASSERT_EQ(runSim({"clock", board_->directory(), seconds, "999999"}).status, 0) << seconds;
        timeval now;
        ASSERT_EQ(gettimeofday(&now, nullptr), 0) << seconds;
        EXPECT_EQ(static_cast<long long>(now.tv_sec), std::stoll(seconds));
        EXPECT_EQ(now.tv_usec, 999999) << seconds;
    }
}

} // namespace
