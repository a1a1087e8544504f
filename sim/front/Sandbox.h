// The private mount namespace a simulated board's programs run in, built
// with bubblewrap: the host's tree read-only, the board's own tree on the
// board's paths, the simulated tools over the real ones, the device shim
// preloaded. Nothing a board program does reaches the host outside the
// board's directory.
#ifndef SIM_SANDBOX_H
#define SIM_SANDBOX_H

#include "SimBoard.h"

#include <string>
#include <vector>

namespace sim {

class Sandbox {
public:
    // prefix: the simulator's tree, holding bin/ and lib/. target: empty, or
    // a cross build whose programs run under emulation: its emulated-bin/
    // launchers come first in PATH, and its lib/<multiarch>/ folders hold the
    // device shim for each machine, so that one LD_PRELOAD value ("$LIB",
    // expanded by each program's loader) gives every program its own.
    Sandbox(const SimBoard& board, std::string prefix, std::string target = "");

    // The bwrap command line that runs command on the board; as user (a
    // name) when one is given, to play a local user of the board. Throws
    // std::runtime_error for an unknown user, when the board, the prefix,
    // the target or the other board lies in a folder grafted from the
    // board's entries (/etc, /usr/sbin) or in /dev, and when the command is
    // a program linked statically, which the device shim cannot reach.
    std::vector<std::string> commandLine(const std::vector<std::string>& command, const std::string& user = "") const;

private:
    std::vector<std::string> hostTrees(const std::string& programFolder) const;
    void refuseHiddenTrees() const;
    std::string hostPath(const std::string& path, const std::string& programFolder) const;
    std::string programFolder(const std::string& program) const;
    void refuseStaticProgram(const std::string& program, const std::string& programFolder) const;
    std::string programPath() const;
    void bindHostTrees(std::vector<std::string>& args, const std::string& programFolder) const;
    void bindBack(std::vector<std::string>& args, const char* bind, const std::string& tree) const;
    void bindBoardTree(std::vector<std::string>& args) const;
    void bindSimulatedTools(std::vector<std::string>& args) const;
    void bindMounts(std::vector<std::string>& args) const;
    void bindCoreSettings(std::vector<std::string>& args) const;
    void setEnvironment(std::vector<std::string>& args) const;
    static void switchUser(std::vector<std::string>& args, const std::string& user);

    const SimBoard& board_;
    std::string prefix_;
    std::string target_;
};

} // namespace sim

#endif
