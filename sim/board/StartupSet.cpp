#include "StartupSet.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace sim {

namespace {

// What runs in every mode (list 0), and the process table proper (list 1).
const char* const STANDING_TABLE =
    "/* daemons of every mode, started first */\n"
    "2\n"
    "dualprocess 1 0 1 - -\n"
    "mmbipmid 0 0 2 - - - - 1\n"
    "#END\n";
const char* const PROCESS_TABLE =
    "/* the board's daemons */\n"
    "2\n"
    "mmbmond 1 5 3 - -\n"
    "mmblogd 1 5 4 - -\n"
    "#END\n";

struct DaemonLink {
    const char* module;
    const char* program;  // in the simulator's bin folder
};

const DaemonLink DAEMONS[] = {
    {"dualprocess", "dualprocess"},
    {"mmbipmid", "mmb-daemon"},
    {"mmbmond", "mmb-daemon"},
    {"mmblogd", "mmb-daemon"},
};

void setRole(const SimBoard& board, const SimBoard& other, const char* word)
{
    for (const char* key : {"init-active", "active", "own"})
        board.setDualSetting(key, word);
    board.setDualSetting("install", "1");
    board.setDualSetting("peer", other.directory());
}

} // namespace

void installStartupSet(const SimBoard& board, const std::string& simBinDir)
{
    for (const DaemonLink& daemon : DAEMONS) {
        std::string link = board.boardPath(std::string("/opt/mmb/bin/") + daemon.module);
        fs::remove(link);
        fs::create_symlink(simBinDir + "/" + daemon.program, link);
    }
    fs::create_directories(board.path("hw/daemons"));
    writeFile(board.path("hw/daemons/mmbipmid"), "ready\n");
    writeFile(board.boardPath("/etc/mmb/init/pro_standing.ctl"), STANDING_TABLE);
    writeFile(board.boardPath("/etc/mmb/init/pro_file.ctl"), PROCESS_TABLE);
}

void makePair(const SimBoard& active, const SimBoard& standby)
{
    setRole(active, standby, "0x40000000");
    setRole(standby, active, "0x00000000");
}

} // namespace sim
