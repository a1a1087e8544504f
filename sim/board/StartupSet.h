// What boards need to run the reference start-up program: the process table
// with the simulated daemons, and for two boards the link between them.
#ifndef SIM_STARTUP_SET_H
#define SIM_STARTUP_SET_H

#include "SimBoard.h"

#include <string>

namespace sim {

// Writes the process tables /etc/mmb/init/pro_standing.ctl (dualprocess,
// and mmbipmid, which the start waits for) and /etc/mmb/init/pro_file.ctl
// (the board daemons mmbmond and mmblogd), and links the simulated daemons
// of simBinDir into /opt/mmb/bin.
void installStartupSet(const SimBoard& board, const std::string& simBinDir);

// Makes two boards a pair (hw/dual): the first Active, the second
// Standby, each seeing the other installed and copying files to it.
void makePair(const SimBoard& active, const SimBoard& standby);

} // namespace sim

#endif
