// The shell tools that would change the real machine, simulated for the
// board they run on: mount, umount, reboot, flash_eraseall, mkfs.ext3. One
// program, chosen by the name it is called under. Every call is recorded in
// the board's event log, and each tool can be told to fail.
#include "BoardPaths.h"
#include "EventLog.h"
#include "FaultTable.h"
#include "SimBoard.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// mount(8)'s own exit statuses.
constexpr int MOUNT_USAGE = 1;
constexpr int MOUNT_FAILURE = 32;

int complain(const std::string& tool, const std::string& message, int status)
{
    std::fprintf(stderr, "%s: %s\n", tool.c_str(), message.c_str());
    return status;
}

std::string hcpDirectory(const sim::SimBoard& board, int hcp)
{
    return board.path("hcp" + std::to_string(hcp));
}

int mountDevice(const sim::SimBoard& board, const std::vector<std::string>& args)
{
    if (args.empty()) {
        for (const sim::MountEntry& entry : board.mounts())
            std::printf("%s on %s\n", entry.device.c_str(), entry.directory.c_str());
        return 0;
    }
    if (args.size() != 4 || args[0] != "-t")
        return complain("mount", "usage: mount -t TYPE DEVICE DIRECTORY", MOUNT_USAGE);
    const std::string& type = args[1];
    const std::string& device = args[2];
    const std::string& directory = args[3];
    const sim::FlashDevice* flash = sim::findFlashDevice(device);
    if (flash == nullptr)
        return complain("mount", device + ": special device does not exist", MOUNT_FAILURE);
    if (type != flash->type)
        return complain("mount", device + ": wrong fs type " + type, MOUNT_FAILURE);
    if (!fs::is_directory(directory))
        return complain("mount", directory + ": mount point does not exist", MOUNT_FAILURE);
    std::string source = hcpDirectory(board, flash->hcp);
    if (::mount(source.c_str(), directory.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return complain("mount", "mount(" + source + ", " + directory + ") failed: " + std::strerror(errno),
                        MOUNT_FAILURE);
    // A file system with errors comes up read-only, as ext3 remounts itself.
    if (sim::FaultTable::consume(board.directory().c_str(), nullptr, "readonly", device.substr(5).c_str()) &&
        ::mount(nullptr, directory.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return complain("mount", "read-only remount of " + directory + " failed: " + std::strerror(errno),
                        MOUNT_FAILURE);
    std::vector<sim::MountEntry> entries = board.mounts();
    entries.push_back({device, directory});
    board.setMounts(entries);
    return 0;
}

int unmount(const sim::SimBoard& board, const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return complain("umount", "usage: umount DIRECTORY|DEVICE", MOUNT_USAGE);
    std::vector<sim::MountEntry> entries = board.mounts();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->directory != args[0] && entry->device != args[0])
            continue;
        if (::umount2(entry->directory.c_str(), 0) != 0)
            return complain("umount", entry->directory + ": " + std::strerror(errno), MOUNT_FAILURE);
        entries.erase(std::next(entry).base());
        board.setMounts(entries);
        return 0;
    }
    return complain("umount", args[0] + ": not mounted.", MOUNT_FAILURE);
}

int eraseFlash(const sim::SimBoard& board, const std::vector<std::string>& args)
{
    if (args.size() != 1 || (args[0] != "/dev/mtd0" && args[0] != "/dev/mtd1"))
        return complain("flash_eraseall", (args.empty() ? std::string("no device") : args[0]) +
                                              ": No such file or directory", 1);
    sim::writeFile(board.path("hw/" + args[0].substr(5)), std::string(sim::SimBoard::NOR_SIZE, '\xff'));
    return 0;
}

int makeFileSystem(const sim::SimBoard& board, const std::vector<std::string>& args)
{
    const sim::FlashDevice* flash = args.size() == 1 ? sim::findFlashDevice(args[0]) : nullptr;
    if (flash == nullptr || std::strcmp(flash->type, "ext3") != 0)
        return complain("mkfs.ext3", "usage: mkfs.ext3 /dev/sda1|/dev/sda2", 1);
    for (const sim::MountEntry& entry : board.mounts())
        if (entry.device == args[0])
            return complain("mkfs.ext3", args[0] + " is mounted; will not make a filesystem here!", 1);
    for (const fs::directory_entry& entry : fs::directory_iterator(hcpDirectory(board, flash->hcp)))
        fs::remove_all(entry.path());
    return 0;
}

int reboot(const sim::SimBoard&, const std::vector<std::string>&)
{
    return 0;  // the event log holds the request; the test decides what a reboot means
}

struct Tool {
    const char* name;
    int (*run)(const sim::SimBoard&, const std::vector<std::string>&);
};

const Tool TOOLS[] = {
    {"mount", mountDevice}, {"umount", unmount}, {"flash_eraseall", eraseFlash},
    {"mkfs.ext3", makeFileSystem}, {"reboot", reboot},
};

} // namespace

int main(int argc, char** argv)
{
    std::string name = fs::path(argv[0]).filename().string();
    const char* boardDir = sim::boardFromEnvironment();
    if (boardDir == nullptr)
        return complain(name, std::string("not on a simulated board (") + sim::BOARD_ENV + " is not set)", 1);
    std::vector<std::string> args(argv + 1, argv + argc);

    std::string call = name;
    for (const std::string& arg : args)
        call += " " + arg;
    sim::logEvent(boardDir, "%s", call.c_str());

    sim::Fault fault;
    if (sim::FaultTable::consume(boardDir, &fault, "tool", name.c_str()))
        return complain(name, "simulated failure", static_cast<int>(fault.number(2, 1)));

    for (const Tool& tool : TOOLS) {
        if (name == tool.name) {
            try {
                return tool.run(sim::SimBoard(boardDir), args);
            } catch (const std::exception& error) {
                return complain(name, error.what(), 1);
            }
        }
    }
    return complain(name, "not a simulated tool", 1);
}
