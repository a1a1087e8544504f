// Running the built nvram on simulated boards, and the NVRAM images the
// tests set up and expect.
#ifndef TEST_NVRAM_TESTING_H
#define TEST_NVRAM_TESTING_H

#include "BoardLogs.h"
#include "Process.h"
#include "SimBoard.h"

#include <cstdint>
#include <string>
#include <vector>

// The NVRAM driver's two requests as the board's events show them, written
// out so that a wrong request macro fails: the host encodes "no data" as 0,
// not the board's 0x20000000.
#if defined(__powerpc__)
inline const std::string REGENERATE_REQUEST = "0x20007041";
inline const std::string INITIALIZE_REQUEST = "0x20007040";
#else
inline const std::string REGENERATE_REQUEST = "0x00007041";
inline const std::string INITIALIZE_REQUEST = "0x00007040";
#endif

using Bytes = std::vector<uint8_t>;

extern const char* const USAGE;  // the usage text with its final newline

ProcessResult runNvram(const sim::SimBoard& board, const std::vector<std::string>& args);

// Runs a step program of the test build on the board, each argument one
// step (tests/support/StepDriver.h); under timeout when seconds is given.
ProcessResult runStepProgram(const sim::SimBoard& board, const std::string& program,
                             const std::vector<std::string>& steps, int seconds = 0);
inline ProcessResult firmSteps(const sim::SimBoard& board, const std::vector<std::string>& steps)
{
    return runStepProgram(board, "firm-steps", steps);
}
inline ProcessResult netSteps(const sim::SimBoard& board, const std::vector<std::string>& steps)
{
    return runStepProgram(board, "net-steps", steps);
}
inline ProcessResult otherSteps(const sim::SimBoard& board, const std::vector<std::string>& steps)
{
    return runStepProgram(board, "other-steps", steps);
}
inline ProcessResult procSteps(const sim::SimBoard& board, const std::vector<std::string>& steps, int seconds = 30)
{
    return runStepProgram(board, "proc-steps", steps, seconds);
}

// The firmware header as stored at NVRAM bytes 0..31.
struct Header {
    uint8_t firmUpMode = 0;
    uint8_t currentHcpNo = 0;
    uint8_t nextHcpNo = 0;
    uint8_t currentBootRom = 0;
    uint8_t nextBootRom = 0;
    uint8_t bootRomChange = 0;
    uint8_t firmChange = 0;
    uint8_t partStatus0 = 0;
    uint8_t partStatus1 = 0;
    std::string currentHcpRev;
    std::string nextHcpRev;

    Bytes bytes() const;
};

// The header a re-initialisation writes on a fresh board (fs0, revision V01L02).
extern const Header REBUILT;
// The identification block at NVRAM byte 496.
extern const Bytes ID_BLOCK;

// An 11-byte revision field holding text.
Bytes revisionField(const std::string& text);

// A board that last started by a reboot, with a valid NVRAM holding header.
void makeHealthy(const sim::SimBoard& board, const Header& header);
// Boot program and firmware both exchanged: HCP 1 and bank 1 run for the first time.
extern const Header APPLYING;
// A healthy board at that first start, running the next HCP (when it is 0
// or 1); the firmware package holds the active NOR flash's image.
void prepareApplying(const sim::SimBoard& board, const Header& header = APPLYING);
// Points /mnt/mmb at the firmware file system hcp, as a boot into it does.
void linkRunningHcp(const sim::SimBoard& board, int hcp);
// Writes a 32-bit big-endian value through the driver.
void patchBig32(const sim::SimBoard& board, std::size_t offset, uint32_t value);

Bytes nvramBytes(const sim::SimBoard& board, std::size_t offset, std::size_t length);
uint32_t nvramBig32(const sim::SimBoard& board, std::size_t offset);

// The eleven firmware information lines.
std::string firmInfo(const Header& header, int rebootCount = 0, int suppressMode = 0);

#endif
