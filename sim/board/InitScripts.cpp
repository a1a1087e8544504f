#include "InitScripts.h"

#include "SimBoard.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr const char* CALL_LOG = "log/init.d";  // INIT_SCRIPT appends to it

// One text for every script: it learns its name from $0. A shell without
// job control starts a background command with SIGINT and SIGQUIT ignored,
// while system() gives the command it waits for the caller's own actions:
// the start-up program ignores SIGINT once its start wait is over, but
// never SIGQUIT, so bit 2 of SigIgn (SIGQUIT) tells the two apart. Script faults carry no counters, so reading
// the fault file under its lock is all a script has to do with it.
const char* const INIT_SCRIPT = R"(#!/bin/sh
# Simulated init script: records the call, fails when a fault says so.
board=${MMBSIM_BOARD:?not on a simulated board}
ignored=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status)
background=
[ $((0x$ignored & 4)) -ne 0 ] && background=" &"
echo "$0 $*$background" >>"$board/log/init.d"
faults=$board/hw/faults
[ -e "$faults" ] || exit 0
status=$(flock -s "$faults" sed -n "/^script ${0##*/} $1 \([0-9]*\)\$/{s//\1/p;q;}" "$faults")
exit "${status:-0}"
)";

const char* const DSPMMBCONFIG = R"(#!/bin/sh
# Simulated configuration dump: a fixed configuration.
cat <<'EOF'
HOSTNAME=mmb
IPADDR=192.168.0.2
NETMASK=255.255.255.0
GATEWAY=192.168.0.1
NTPSERVER=192.168.0.1
EOF
)";

void writeProgram(const std::string& path, const char* text)
{
    writeFile(path, text);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

} // namespace

void installInitScripts(const SimBoard& board)
{
    for (const char* name : INIT_SCRIPT_NAMES)
        writeProgram(board.boardPath(std::string("/etc/init.d/") + name), INIT_SCRIPT);
    writeProgram(board.boardPath("/opt/mmb/bin/dspmmbconfig"), DSPMMBCONFIG);
}

std::vector<std::string> initScriptCalls(const SimBoard& board)
{
    return readLines(board.path(CALL_LOG));
}

} // namespace sim
