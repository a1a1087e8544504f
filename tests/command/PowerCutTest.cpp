// The power cut at any byte of an operation's NVRAM writes, and between any
// two: the next start finds a torn write by the driver's checksum and
// rebuilds partition 0 from the running partition; a cut between writes
// leaves each area wholly old or wholly new and the rest untouched. One
// board serves every cut of an operation (power-cut restores its NVRAM
// image and clock before each), in one run of the sandbox.
#include "BoardLogs.h"
#include "FaultSpec.h"
#include "NvramTesting.h"
#include "TestBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct Area {
    std::size_t offset;
    std::size_t length;
};

// What every operation writes, in order: one flush.
const std::vector<Area> FLUSH_WRITES = {{0, 32}, {32, 1}, {33, 1}, {36, 20}, {56, 260}, {318, 1}};

const std::string REPAIR_TRACE = "DBG# 20001 initNVRAM write header offset=1f0";

struct Operation {
    const char* name;
    std::vector<std::string> command;  // run on the board
    Header state;         // the header before it
};

const Header RUNNING = {0, 0, 0, 0, 1, 0, 0, 1, 0, "V01L02", "V01L01"};

void PrintTo(const Operation& operation, std::ostream* out)
{
    *out << operation.name;
}

const Operation OPERATIONS[] = {
    {"select_hcp", {"nvram", "-s", "1"}, RUNNING},
    {"write_revision", {"nvram", "-m", "0", "V02L10"}, RUNNING},
    {"mark_updating", {"nvram", "-u", "1", "updating"}, RUNNING},
    {"apply", {"nvram", "-a"}, RUNNING},
    {"initialize", {"nvram", "-i"}, RUNNING},
    {"reset_suppress", {"nvram", "-r"}, RUNNING},
    {"flush", {"firm-steps", "flush"}, RUNNING},
    {"down_log", {"firm-steps", "setDownLog"}, RUNNING},
    {"commit", {"firm-steps", "setFirmUpInfo"}, APPLYING},
    {"roll_back", {"firm-steps", "setFirmUpRecovery"}, APPLYING},
};

void put(Bytes& image, std::size_t offset, const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(offset));
}

// Partition 0 before the operation: the header, every area holding
// something, and a pattern in the bytes no operation may touch.
Bytes oldImage(const Header& header)
{
    Bytes image(4096, 0xA5);
    put(image, 0, header.bytes());
    put(image, 32, {3, 1});  // reboot count, suppress mode
    put(image, 36, {0, 0, 0, 1, 0x5F, 0, 0, 0, 0, 1, 0xE2, 0x40, 2, 0xF1, 4, 1, 0, 0, 0, 0});  // down log
    put(image, 56, {0, 0, 0, 17});     // log count, out of range: each start clears it
    put(image, 60, Bytes(256, 0x3C));  // log entries
    put(image, 318, {1});              // VLAN mode
    put(image, 496, ID_BLOCK);
    return image;
}

// Partition 0 as the start rebuilds it on this board (fs0, revision V01L02, bank 0).
Bytes rebuiltImage()
{
    Bytes image(4096, 0);
    put(image, 0, REBUILT.bytes());
    put(image, 496, ID_BLOCK);
    return image;
}

// The old image with the first `count` writes' areas as the operation left them.
Bytes firstWritesNew(Bytes image, const Bytes& finished, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        auto from = finished.begin() + static_cast<long>(FLUSH_WRITES[i].offset);
        std::copy(from, from + static_cast<long>(FLUSH_WRITES[i].length),
                  image.begin() + static_cast<long>(FLUSH_WRITES[i].offset));
    }
    return image;
}

struct Cut {
    std::string fault;
    std::size_t wholeWrites;  // writes that completed
    bool torn;                // the next write was cut part-way
};

// The byte counts at which a write of `length` bytes is torn: every one.
// Under emulation each program start costs the emulator a second, so there
// the first, middle and last are cut; what the board build adds (byte
// order, request numbers) does not depend on where a write is torn.
std::vector<std::size_t> tornAt(std::size_t length)
{
    std::vector<std::size_t> counts;
    bool emulated = *MMB_TARGET_DIR != '\0';
    for (std::size_t kept = 1; kept < length; ++kept)
        if (!emulated || kept == 1 || kept == length / 2 || kept == length - 1)
            counts.push_back(kept);
    return counts;
}

// Every cut: before the first write, after each write (the last one: the
// operation's end), at every byte count of every write, and first a fault
// at a write that never comes, so the operation runs to its end.
std::vector<Cut> everyCut()
{
    std::size_t writes = FLUSH_WRITES.size();
    std::vector<Cut> cuts = {{"mram-cut 0 4095 after " + std::to_string(writes + 1), writes, false},
                             {"mram-cut 0 0", 0, false}};
    for (std::size_t done = 1; done <= writes; ++done)
        cuts.push_back({"mram-cut 0 4095 after " + std::to_string(done), done, false});
    for (std::size_t write = 0; write < writes; ++write)
        for (std::size_t kept : tornAt(FLUSH_WRITES[write].length))
            cuts.push_back({"mram-cut 0 " + std::to_string(kept) + " after " + std::to_string(write + 1), write, true});
    return cuts;
}

class PowerCut : public testing::TestWithParam<Operation> {};

TEST_P(PowerCut, every_cut_comes_up_wholly_old_or_new_or_rebuilt)
{
    const Operation& operation = GetParam();
    TestBoard board;
    makeHealthy(*board, operation.state);
    Bytes old = oldImage(operation.state);
    board->patchNvram(0, 0, old);
    board->setClock(1600000000, 0, 1000);

    std::string sweep = board->path("sweep");
    fs::create_directory(sweep);
    for (const char* file : {"mram0", "mram0.sum", "clock"})
        fs::copy_file(board->path(std::string("hw/") + file), sweep + "/" + file);
    std::vector<Cut> cuts = everyCut();
    std::string faults;
    for (const Cut& cut : cuts)
        faults += sim::FaultSpec::canonical(cut.fault) + "\n";
    sim::writeFile(sweep + "/cuts", faults);
    std::vector<std::string> command = {"power-cut", sweep};
    command.insert(command.end(), operation.command.begin(), operation.command.end());
    ProcessResult run = runOnBoard(*board, command);
    ASSERT_EQ(run.status, 0) << run.err;

    auto result = [&sweep](std::size_t i, const char* what) {
        std::string file = sweep + "/" + std::to_string(i) + what;
        return fs::exists(file) ? sim::readFile(file) : "";
    };
    std::string end = result(0, ".image");
    Bytes finished(end.begin(), end.end());
    // The operation ran to its end: the fault for a write after its last is still armed.
    ASSERT_EQ(result(0, ".status"), "0\n0\n");
    ASSERT_NE(result(0, ".faults"), "");
    ASSERT_NE(finished, old);
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        const Cut& cut = cuts[i];
        std::string image = result(i, ".image");
        std::vector<std::string> traces = traceLines(sweep + "/" + std::to_string(i) + ".trace");
        bool repaired = std::find(traces.begin(), traces.end(), REPAIR_TRACE) != traces.end();
        EXPECT_EQ(result(i, ".status"), "137\n0\n") << cut.fault;
        EXPECT_EQ(result(i, ".faults"), "") << cut.fault;
        EXPECT_EQ(Bytes(image.begin(), image.end()),
                  cut.torn ? rebuiltImage() : firstWritesNew(old, finished, cut.wholeWrites))
            << cut.fault;
        EXPECT_EQ(repaired, cut.torn) << cut.fault;
    }
}

INSTANTIATE_TEST_SUITE_P(NvramWrites, PowerCut, testing::ValuesIn(OPERATIONS),
                         [](const testing::TestParamInfo<Operation>& param) { return param.param.name; });

} // namespace
