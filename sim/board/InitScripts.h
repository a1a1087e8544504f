// The board's init scripts under /etc/init.d and its configuration dump
// /opt/mmb/bin/dspmmbconfig, simulated by small shell scripts in the board's
// tree. Every init script call is recorded in log/init.d as the command
// line it ran with, "/etc/init.d/ldap start", followed by " &" when it ran
// in the background; the fault "script NAME VERB STATUS" makes it exit with
// STATUS.
#ifndef SIM_INIT_SCRIPTS_H
#define SIM_INIT_SCRIPTS_H

#include <string>
#include <vector>

namespace sim {

class SimBoard;

// The init scripts of a fresh board, in /etc/init.d.
inline constexpr const char* INIT_SCRIPT_NAMES[] = {"misc", "ntpd", "ldap", "xinetd",
                                                    "snmpd", "lighttpd", "postfix", "fcron"};
// The verbs a script fault can name.
inline constexpr const char* INIT_SCRIPT_VERBS[] = {"start", "restart", "stop"};

// Writes the init scripts and dspmmbconfig into the board's tree.
void installInitScripts(const SimBoard& board);

// The recorded init script calls, in the order the scripts ran.
std::vector<std::string> initScriptCalls(const SimBoard& board);

} // namespace sim

#endif
