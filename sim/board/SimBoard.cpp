#include "SimBoard.h"

#include "BoardPaths.h"
#include "BoardPrograms.h"
#include "CpldRegisters.h"
#include "EventLog.h"
#include "FaultSpec.h"
#include "FaultTable.h"
#include "InitScripts.h"
#include "MramPartition.h"
#include "SettingsFile.h"
#include "StartTiming.h"
#include "Watchdog.h"

#include "board_devices.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sim {

namespace {

const FlashDevice FLASH_DEVICES[] = {
    {"/dev/sda1", "ext3", 0},
    {"/dev/sda2", "ext3", 1},
    {"/dev/mtdblock0", "jffs2", 0},
    {"/dev/mtdblock1", "jffs2", 1},
};

struct RegisterDefault {
    uint32_t reg;
    uint16_t value;
};

// A board just powered on: power-on flag set, bank 0 in use, watchdog enabled.
const RegisterDefault REGISTER_DEFAULTS[] = {
    {0x0070, 0x0000},  // CPLD mode bits
    {0x0076, 0x04B0},  // board version 0x4B
    {0x0600, 0x0080},  // reset type: power-on flag
    {0x0610, 0x0000},  // watchdog control: enabled
};
constexpr uint32_t MMB_NUMBER_REGISTER = 0x0072;
constexpr uint32_t RESET_TYPE_REGISTER = 0x0600;
constexpr uint16_t BOOTED_BANK_BIT = 0x2000;
constexpr uint16_t POWER_ON_BIT = 0x0080;
constexpr uint16_t WATCHDOG_ERROR_BIT = 0x0100;
constexpr uint32_t WATCHDOG_CONTROL_REGISTER = 0x0610;
// Created by the start-up library on a power-on; the board's I2C
// initialisation removes it once it has completed.
const char* const I2C_INIT_MARKER = "/var/mmb/fmem/MMB_I2C_INIT_INCOMPLETE";
constexpr std::size_t NEXT_HCP_BYTE = 2;  // of the firmware header in NVRAM partition 0

const MountEntry BOOT_MOUNTS[] = {{"/dev/sda1", "/mnt/fs0"}, {"/dev/sda2", "/mnt/fs1"}};

const char* const BOARD_TREE[] = {
    "root/tmp", "root/var/mmb/fmem", "root/var/mmb/log/init", "root/var/mmb/sock",
    "root/var/mmb/core/core_save", "root/var/run", "root/var/lock", "root/mnt/fs0", "root/mnt/fs1",
    "root/mnt/dump", "root/mnt/hcp", "root/etc/mmb/init", "root/etc/init.d", "root/etc/sysconfig",
    "root/opt/mmb/bin", "hcp0/opt/mmb", "hcp1/opt/mmb", "hw", "log", STARTED_DIR,
};

// Revision files of the two firmware file systems of a fresh board.
const char* const REVISION_FILES[] = {"REVISION=V01L02\n", "REVISION=V01L01\n"};

std::runtime_error failure(const std::string& call, const std::string& path)
{
    return std::runtime_error(call + "(" + path + ") failed: " + std::strerror(errno));
}

int openRegisters(const SimBoard& board, int flags)
{
    std::string file = board.path(CPLD_FILE);
    int fd = ::open(file.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        throw failure("open", file);
    return fd;
}

// A recognisable boot image: the same bytes on every fresh board.
std::string bootImage()
{
    std::string image(SimBoard::NOR_SIZE, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return image;
}

// Replaces a file at once, so that a board program reading it at the same
// moment sees the old content or the new, never a part.
void replaceFile(const std::string& file, const std::string& content)
{
    writeFile(file + ".new", content);
    fs::rename(file + ".new", file);
}

} // namespace

const FlashDevice* findFlashDevice(const std::string& device)
{
    for (const FlashDevice& flash : FLASH_DEVICES)
        if (device == flash.device)
            return &flash;
    return nullptr;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw failure("open", path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())))
        throw failure("write", path);
}

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

SimBoard::SimBoard(std::string directory) : directory_(std::move(directory)) {}

SimBoard SimBoard::create(const std::string& directory, const Options& options)
{
    if (options.mmbNumber < 0 || options.mmbNumber > 1 || options.runningHcp < 0 || options.runningHcp > 1)
        throw std::invalid_argument("MMB number and running HCP must be 0 or 1");
    if (fs::exists(directory))
        throw std::runtime_error("board " + directory + " already exists");
    SimBoard board(fs::absolute(directory).lexically_normal().string());
    for (const char* dir : BOARD_TREE)
        fs::create_directories(board.path(dir));
    // As on the board: everybody may make files in /tmp, only their owner remove them.
    fs::permissions(board.boardPath("/tmp"), fs::perms::all | fs::perms::sticky_bit);
    fs::create_symlink("fs" + std::to_string(options.runningHcp), board.boardPath("/mnt/mmb"));
    for (int hcp = 0; hcp < 2; ++hcp)
        writeFile(board.path("hcp" + std::to_string(hcp) + "/opt/mmb/version.dat"), REVISION_FILES[hcp]);

    writeFile(board.path(CPLD_FILE), std::string(CpldRegisters::COUNT * 2, '\0'));
    for (const RegisterDefault& entry : REGISTER_DEFAULTS)
        board.setReg(entry.reg, entry.value);
    board.setReg(MMB_NUMBER_REGISTER, static_cast<uint16_t>(options.mmbNumber << 8));

    for (int partition = 0; partition < MRAM_PARTITIONS; ++partition)
        if (int error = MramPartition(board.directory_.c_str(), partition).create(); error != 0)
            throw std::runtime_error("creating NVRAM partition " + std::to_string(partition) + ": " +
                                     std::strerror(error));
    writeFile(board.path(EEPROM_FILE), std::string(1, '\0'));
    std::string image = bootImage();
    writeFile(board.path("hw/mtd0"), image);
    writeFile(board.path("hw/mtd1"), image);
    board.setMounts({std::begin(BOOT_MOUNTS), std::end(BOOT_MOUNTS)});
    installInitScripts(board);
    return board;
}

bool SimBoard::exists() const
{
    return fs::is_regular_file(path(CPLD_FILE)) && fs::is_directory(path(ROOT_DIR));
}

uint16_t SimBoard::reg(uint32_t number) const
{
    int fd = openRegisters(*this, O_RDONLY);
    uint16_t value = 0;
    int error = CpldRegisters::read(fd, number, value);
    ::close(fd);
    if (error != 0)
        throw std::runtime_error("reading register " + std::to_string(number) + ": " + std::strerror(error));
    return value;
}

void SimBoard::setReg(uint32_t number, uint16_t value) const
{
    int fd = openRegisters(*this, O_RDWR);
    int error = CpldRegisters::write(fd, number, value);
    ::close(fd);
    if (error != 0)
        throw std::runtime_error("writing register " + std::to_string(number) + ": " + std::strerror(error));
}

std::vector<std::string> SimBoard::cpldWrites() const
{
    return readLines(path(CPLD_WRITE_LOG));
}

std::vector<uint8_t> SimBoard::nvram(int partition) const
{
    std::string bytes = readFile(path("hw/mram" + std::to_string(partition)));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void SimBoard::patchNvram(int partition, std::size_t offset, const std::vector<uint8_t>& bytes) const
{
    if (partition < 0 || partition >= MRAM_PARTITIONS || offset + bytes.size() > MramPartition::SIZE)
        throw std::out_of_range("NVRAM patch outside partition");
    ssize_t written = MramPartition(directory_.c_str(), partition)
                          .write(static_cast<off_t>(offset), bytes.data(), bytes.size());
    if (written != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("patching NVRAM partition " + std::to_string(partition) + " failed");
}

bool SimBoard::nvramChecksumValid(int partition) const
{
    return MramPartition(directory_.c_str(), partition).checksumValid();
}

void SimBoard::spoilNvramChecksum(int partition) const
{
    if (int error = MramPartition(directory_.c_str(), partition).spoilChecksum(); error != 0)
        throw std::runtime_error(std::string("spoiling NVRAM checksum: ") + std::strerror(error));
}

void SimBoard::addFault(const std::string& line) const
{
    Fault fault;
    std::string canonical = FaultSpec::canonical(line);
    FaultTable table;
    if (!FaultTable::parse(canonical.c_str(), fault) || !table.load(directory_.c_str()) || !table.add(fault) ||
        !table.save(directory_.c_str()))
        throw std::runtime_error("cannot arm fault: " + line);
}

std::vector<std::string> SimBoard::faults() const
{
    FaultTable table;
    if (!table.load(directory_.c_str()))
        throw std::runtime_error("unreadable fault file " + path(FAULT_FILE));
    std::vector<std::string> lines;
    for (int i = 0; i < table.size(); ++i) {
        char line[512];
        FaultTable::format(table.at(i), line, sizeof line);
        lines.emplace_back(line);
    }
    return lines;
}

void SimBoard::clearFaults() const
{
    fs::remove(path(FAULT_FILE));
}

std::vector<MountEntry> SimBoard::mounts() const
{
    std::vector<MountEntry> entries;
    for (const std::string& line : readLines(path(MOUNT_TABLE))) {
        std::istringstream words(line);
        MountEntry entry;
        if (words >> entry.device >> entry.directory)
            entries.push_back(entry);
    }
    return entries;
}

void SimBoard::setMounts(const std::vector<MountEntry>& entries) const
{
    std::string text;
    for (const MountEntry& entry : entries)
        text += entry.device + " " + entry.directory + "\n";
    replaceFile(path(MOUNT_TABLE), text);
}

void SimBoard::writeFirmwarePackage(const std::string& bootImage) const
{
    std::string work = path("package.work");
    fs::remove_all(work);
    fs::create_directories(work);
    writeFile(work + "/rom.image", bootImage);
    std::string package = boardPath("/mnt/hcp/mmbfirm.tgz");
    std::string command = "cd '" + work + "' && gzip -n rom.image && tar -czf '" + package + "' rom.image.gz";
    int status = std::system(command.c_str());
    fs::remove_all(work);
    if (status != 0)
        throw std::runtime_error("building the firmware package failed: " + command);
}

std::string SimBoard::norImage(const std::string& device) const
{
    return readFile(path("hw/" + device));
}

void SimBoard::setClock(long long seconds, long long micros, long long stepMicros) const
{
    replaceFile(path(CLOCK_FILE), std::to_string(seconds) + " " + std::to_string(micros) + " " +
                                      std::to_string(stepMicros) + "\n");
}

std::string SimBoard::dualSetting(const std::string& key) const
{
    char value[4096];
    return getSetting(directory_.c_str(), DUAL_FILE, key.c_str(), value, sizeof value) ? value : "";
}

void SimBoard::setDualSetting(const std::string& key, const std::string& value) const
{
    if (key.empty() || key.find_first_of(" \n") != std::string::npos || value.find('\n') != std::string::npos ||
        !putSetting(directory_.c_str(), DUAL_FILE, key.c_str(), value.c_str()))
        throw std::runtime_error("cannot set " + key + " in " + path(DUAL_FILE));
}

int SimBoard::eepromBootBank() const
{
    return static_cast<unsigned char>(readFile(path(EEPROM_FILE)).at(0));
}

void SimBoard::stopPrograms() const
{
    if (!stopBoardPrograms(directory_.c_str()))
        throw std::runtime_error("the programs of board " + directory_ + " do not stop");
}

void SimBoard::reboot() const
{
    boot(false);
}

void SimBoard::powerCycle() const
{
    boot(true);
}

void SimBoard::boot(bool powerOn) const
{
    stopPrograms();
    if (powerOn)
        logEvent(directory_.c_str(), "power on");
    int hcp = nvram(0).at(NEXT_HCP_BYTE) == 1 ? 1 : 0;
    int bank = eepromBootBank() != 0 ? 1 : 0;
    fs::remove(boardPath("/mnt/mmb"));
    fs::create_symlink("fs" + std::to_string(hcp), boardPath("/mnt/mmb"));
    // A power-on forgets a watchdog expiry; a reboot keeps its error flag.
    uint16_t resetType = reg(RESET_TYPE_REGISTER) & ~BOOTED_BANK_BIT & ~(powerOn ? WATCHDOG_ERROR_BIT : 0);
    resetType |= (bank != 0 ? BOOTED_BANK_BIT : 0) | (powerOn ? POWER_ON_BIT : 0);
    setReg(RESET_TYPE_REGISTER, static_cast<uint16_t>(resetType));
    setReg(WATCHDOG_CONTROL_REGISTER, 0);  // enabled again, waiting for its first feed
    restartWatchdog(directory_.c_str());
    for (const char* emptied : {"root/tmp", STARTED_DIR})
        for (const fs::directory_entry& entry : fs::directory_iterator(path(emptied)))
            fs::remove_all(entry.path());
    if (FaultTable::consume(directory_.c_str(), nullptr, "i2c-init"))
        logEvent(directory_.c_str(), "i2c-init incomplete");
    else
        fs::remove(boardPath(I2C_INIT_MARKER));
    setMounts({std::begin(BOOT_MOUNTS), std::end(BOOT_MOUNTS)});
    logEvent(directory_.c_str(), "boot HCP %d bank %d", hcp, bank);
}

std::vector<std::string> SimBoard::events() const
{
    return readLines(path(EVENT_LOG));
}

} // namespace sim
