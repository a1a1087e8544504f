#include "NvramTesting.h"

#include <cstdio>
#include <filesystem>

const char* const USAGE =
    "nvram { -i | -s next-hcpno | -b next-bankno | -m hcpno hcprev }\n"
    "nvram { -a | -d | -p | | -r | -u hcpno [ updating | normal ] | -h }\n"
    "nvram { -g | -e } partno }\n"
    "-i nvram initialize.\n"
    "-s select next hcp.\n"
    "-m modeify hcp revision.\n"
    "-a apply mmbfirmware.\n"
    "-d display firmware info.\n"
    "-p display firmware Revision (use about 30 seconds).\n"
    "-r reset suppress flag and reboot counter.\n"
    "-b select next bank of bootrom.\n"
    "-u set update mode into HCP partiion.\n"
    "-g generate checksum of specified NVRAM patition.\n"
    "-e initialize specified NVRAM patition.\n";

ProcessResult runNvram(const sim::SimBoard& board, const std::vector<std::string>& args)
{
    std::vector<std::string> command = {"nvram"};
    command.insert(command.end(), args.begin(), args.end());
    return runOnBoard(board, command);
}

ProcessResult runStepProgram(const sim::SimBoard& board, const std::string& program,
                             const std::vector<std::string>& steps, int seconds)
{
    std::vector<std::string> command = {program};
    if (seconds > 0)
        command.insert(command.begin(), {"timeout", std::to_string(seconds)});
    command.insert(command.end(), steps.begin(), steps.end());
    return runOnBoard(board, command);
}

Bytes revisionField(const std::string& text)
{
    Bytes field(text.begin(), text.end());
    field.resize(11, 0);
    return field;
}

Bytes Header::bytes() const
{
    Bytes image = {firmUpMode,  currentHcpNo, nextHcpNo,   currentBootRom, nextBootRom,
                   bootRomChange, firmChange,  partStatus0, partStatus1,    0};
    for (const std::string* rev : {&currentHcpRev, &nextHcpRev}) {
        Bytes field = revisionField(*rev);
        image.insert(image.end(), field.begin(), field.end());
    }
    return image;
}

const Header REBUILT = {0, 0, 0, 0, 0, 0, 0, 0, 0, "V01L02", "V01L02"};
const Bytes ID_BLOCK = {0x4D, 0x20, 0x4D, 0x4D, 0x42, 0x49, 0x6E, 0x69, 0x74, 0x00};

void makeHealthy(const sim::SimBoard& board, const Header& header)
{
    board.setReg(0x600, 0x0000);
    board.patchNvram(0, 0, header.bytes());
    board.patchNvram(0, 496, ID_BLOCK);
}

const Header APPLYING = {'F', 0, 1, 0, 1, 1, 1, 0, 0, "V01L02", "V02L00"};

void prepareApplying(const sim::SimBoard& board, const Header& header)
{
    makeHealthy(board, header);
    board.writeFirmwarePackage(board.norImage("mtd0"));
    if (header.nextHcpNo <= 1)
        linkRunningHcp(board, header.nextHcpNo);
}

void linkRunningHcp(const sim::SimBoard& board, int hcp)
{
    std::filesystem::remove(board.boardPath("/mnt/mmb"));
    std::filesystem::create_symlink("fs" + std::to_string(hcp), board.boardPath("/mnt/mmb"));
}

void patchBig32(const sim::SimBoard& board, std::size_t offset, uint32_t value)
{
    board.patchNvram(0, offset, {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                                 static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

Bytes nvramBytes(const sim::SimBoard& board, std::size_t offset, std::size_t length)
{
    Bytes all = board.nvram(0);
    return Bytes(all.begin() + static_cast<long>(offset), all.begin() + static_cast<long>(offset + length));
}

uint32_t nvramBig32(const sim::SimBoard& board, std::size_t offset)
{
    Bytes word = nvramBytes(board, offset, 4);
    return static_cast<uint32_t>(word[0]) << 24 | static_cast<uint32_t>(word[1]) << 16 |
           static_cast<uint32_t>(word[2]) << 8 | word[3];
}

std::string firmInfo(const Header& h, int rebootCount, int suppressMode)
{
    char text[1024];
    snprintf(text, sizeof text,
             "current hcp no  = %d\ncurrent hcp rev = %s\nnext hcp no     = %d\nnext hcp rev    = %s\n"
             "current bootrom = %d\nnext bootrom    = %d\nfirmup mode     = %x\nreboot count    = %d\n"
             "suppress mode   = %d\npart#0 status   = %d\npart#1 status   = %d\n",
             h.currentHcpNo, h.currentHcpRev.substr(0, 11).c_str(), h.nextHcpNo, h.nextHcpRev.substr(0, 11).c_str(),
             h.currentBootRom, h.nextBootRom, h.firmUpMode, rebootCount, suppressMode, h.partStatus0, h.partStatus1);
    return text;
}
