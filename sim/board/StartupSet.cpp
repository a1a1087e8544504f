#include "StartupSet.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace sim {

namespace {

const char* const PROCESS_TABLE =
    "/* the daemons of a simulated board; a start-wait field (the ninth) holds */\n"
    "/* until a later line gives another */\n"
    "4\n"
    "dualprocess 1 0 1 - -\n"
    "mmbipmid 0 0 2 - - - - 1\n"
    "mmbmond 1 5 3 - - - - 0\n"
    "mmblogd 1 5 4 - - - - 0\n"
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
    writeFile(board.boardPath("/etc/mmb/init/pro_file.ctl"), PROCESS_TABLE);
}

void makePair(const SimBoard& active, const SimBoard& standby)
{
    setRole(active, standby, "0x40000000");
    setRole(standby, active, "0x00000000");
}

} // namespace sim
