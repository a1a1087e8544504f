#include "Sandbox.h"

#include "StaticProgram.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace sim {

namespace {

// Whole host folders replaced by the board's own.
const char* const BOARD_FOLDERS[] = {"/tmp", "/var", "/mnt", "/opt"};

// Host folders the board adds entries to. They are rebuilt on a tmpfs with
// one symbolic link per host entry (into a read-only view of the host folder
// at .host), which costs far less than one bind mount per entry.
struct Graft {
    const char* folder;
    std::vector<const char*> boardEntries;  // entries from the board's tree
    std::vector<const char*> toolEntries;   // entries replaced by the simulated tools
};
const Graft GRAFTS[] = {
    {"/etc", {"mmb", "init.d", "sysconfig"}, {}},
    {"/usr/sbin", {}, {"reboot", "flash_eraseall", "mkfs.ext3"}},
};
// Folders rebuilt from the board's entries: a tree in them cannot be bound back.
const char* const HIDING_FOLDERS[] = {"/etc", "/usr/sbin", "/dev"};
// Simulated tools bound over the host's own (these always exist).
const char* const TOOL_FILES[] = {"/usr/bin/mount", "/usr/bin/umount"};
// The kernel's core settings, each the board's own (hw/NAME) from its first
// run on: a board whose kernel adds the pid until the start-up says otherwise.
const std::pair<const char*, const char*> CORE_SETTINGS[] = {
    {"core_pattern", "/var/mmb/core/core.%e\n"}, {"core_uses_pid", "1\n"}};

#ifdef MMB_COVERAGE
// A coverage build's programs write their counters back into the build tree.
const char* const BUILD_BIND = "--bind";
#else
const char* const BUILD_BIND = "--ro-bind";
#endif

bool isUnder(const std::string& path, const std::string& folder)
{
    return path == folder || path.compare(0, folder.size() + 1, folder + "/") == 0;
}

void add(std::vector<std::string>& args, std::initializer_list<std::string> words)
{
    args.insert(args.end(), words);
}

bool contains(const std::vector<const char*>& names, const std::string& name)
{
    for (const char* entry : names)
        if (name == entry)
            return true;
    return false;
}

} // namespace

Sandbox::Sandbox(const SimBoard& board, std::string prefix, std::string target)
    : board_(board), prefix_(std::move(prefix)), target_(std::move(target))
{
}

// The host trees a board's programs reach: the folder of a program run by
// its host path (see programFolder), the builds, the board and the other
// board of a pair.
std::vector<std::string> Sandbox::hostTrees(const std::string& programFolder) const
{
    std::vector<std::string> trees;
    for (std::string tree : {programFolder, prefix_, target_, board_.directory(), board_.dualSetting("peer")})
        if (!tree.empty())
            trees.push_back(std::move(tree));
    return trees;
}

void Sandbox::refuseHiddenTrees() const
{
    for (const std::string& tree : hostTrees(""))
        for (const char* folder : HIDING_FOLDERS)
            if (isUnder(tree, folder))
                throw std::runtime_error(tree + " lies under " + folder +
                                         ", which the board's own tree hides; keep boards and builds elsewhere");
}

// The shim cannot reach a program without a dynamic loader; only the
// command itself is looked at, not what it starts.
void Sandbox::refuseStaticProgram(const std::string& program, const std::string& programFolder) const
{
    std::string found;
    if (program.find('/') != std::string::npos) {
        found = hostPath(program, programFolder);
    } else {
        std::string folders = programPath();
        for (std::size_t start = 0, end = 0; found.empty() && start <= folders.size(); start = end + 1) {
            end = std::min(folders.find(':', start), folders.size());
            std::string candidate = folders.substr(start, end - start) + "/" + program;
            if (access(candidate.c_str(), X_OK) == 0)
                found = candidate;
        }
    }
    if (!found.empty() && linkedStatically(found))
        throw std::runtime_error(program + " is linked statically: the simulator's device shim cannot reach it, "
                                 "so it would not see the board's devices; link it dynamically");
}

// The host file a path names on the board: the board's own folders hold its
// tree, except for the trees bound back into them.
std::string Sandbox::hostPath(const std::string& path, const std::string& programFolder) const
{
    for (const std::string& tree : hostTrees(programFolder))
        if (isUnder(path, tree))
            return path;
    for (const char* folder : BOARD_FOLDERS)
        if (isUnder(path, folder))
            return board_.boardPath(path);
    return path;
}

// A program built outside the known trees in a folder the board replaces (a
// clone's build in /tmp, say), named by its host path and not a file of the
// board: its folder is bound back read-only, or the board would hide it.
std::string Sandbox::programFolder(const std::string& program) const
{
    if (program.empty() || program[0] != '/')
        return "";
    std::string onBoard = board_.boardPath(program);
    bool hidden = hostPath(program, "") == onBoard;  // in a folder the board replaces, outside the known trees
    if (!hidden || fs::exists(onBoard) || access(program.c_str(), X_OK) != 0)
        return "";
    return fs::path(program).parent_path().string();
}

std::vector<std::string> Sandbox::commandLine(const std::vector<std::string>& command, const std::string& user) const
{
    refuseHiddenTrees();
    std::string program = command.empty() ? "" : command[0];
    std::string folder = programFolder(program);
    if (!program.empty())
        refuseStaticProgram(program, folder);
    std::vector<std::string> args = {"bwrap", "--die-with-parent", "--ro-bind", "/", "/", "--dev", "/dev"};
    if (geteuid() != 0)
        add(args, {"--unshare-user", "--uid", "0", "--gid", "0"});
    // The simulated mount binds a firmware file system inside the namespace.
    add(args, {"--cap-add", "CAP_SYS_ADMIN"});
    bindBoardTree(args);
    bindHostTrees(args, folder);
    bindSimulatedTools(args);
    bindMounts(args);
    bindCoreSettings(args);
    setEnvironment(args);
    add(args, {"--chdir", "/"});
    if (!user.empty())
        switchUser(args, user);
    add(args, {"--"});
    args.insert(args.end(), command.begin(), command.end());
    return args;
}

void Sandbox::bindBoardTree(std::vector<std::string>& args) const
{
    for (const char* folder : BOARD_FOLDERS)
        add(args, {"--bind", board_.boardPath(folder), folder});
}

// The board's own folders replace the host's, so a build, a board or the
// other board of a pair lying under one of them (a clone in /tmp, say) is
// bound back on top at its own path, as it is outside: the builds and a
// program's folder read-only, the boards (which lie in a build) writable,
// bound last as they may lie in the others. The board's files
// around it stay its own; the mount point left in the board's folder is an
// empty directory.
void Sandbox::bindHostTrees(std::vector<std::string>& args, const std::string& programFolder) const
{
    for (const std::string& build : {programFolder, prefix_, target_})
        if (!build.empty())
            bindBack(args, BUILD_BIND, build);
    bindBack(args, "--bind", board_.directory());
    if (std::string peer = board_.dualSetting("peer"); !peer.empty())
        bindBack(args, "--bind", peer);
}

// bwrap would make a missing mount point's folders for root alone; made
// here they keep the usual mode, so a local user of the board (mmb-sim run
// --as) still reaches the simulator's programs.
void Sandbox::bindBack(std::vector<std::string>& args, const char* bind, const std::string& tree) const
{
    for (const char* folder : BOARD_FOLDERS)
        if (isUnder(tree, folder))
            fs::create_directories(board_.boardPath(tree));
    add(args, {bind, tree, tree});
}

void Sandbox::bindSimulatedTools(std::vector<std::string>& args) const
{
    std::string tool = prefix_ + "/bin/mmb-sim-tool";
    for (const Graft& graft : GRAFTS) {
        std::string folder = graft.folder;
        add(args, {"--tmpfs", folder, "--ro-bind", folder, folder + "/.host"});
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (!contains(graft.boardEntries, name) && !contains(graft.toolEntries, name))
                add(args, {"--symlink", ".host/" + name, folder + "/" + name});
        }
        for (const char* name : graft.boardEntries)
            add(args, {"--bind", board_.boardPath(folder + "/" + name), folder + "/" + name});
        for (const char* name : graft.toolEntries)
            add(args, {"--ro-bind", tool, folder + "/" + name});
    }
    for (const char* file : TOOL_FILES)
        add(args, {"--ro-bind", tool, file});
}

void Sandbox::bindMounts(std::vector<std::string>& args) const
{
    for (const MountEntry& entry : board_.mounts())
        if (const FlashDevice* flash = findFlashDevice(entry.device))
            add(args, {"--bind", board_.path("hcp" + std::to_string(flash->hcp)), entry.directory});
}

void Sandbox::bindCoreSettings(std::vector<std::string>& args) const
{
    for (const auto& [name, value] : CORE_SETTINGS) {
        std::string setting = board_.path(std::string("hw/") + name);
        if (!fs::exists(setting))
            std::ofstream(setting) << value;
        add(args, {"--bind", setting, std::string("/proc/sys/kernel/") + name});
    }
}

// The command starts under setpriv, which needs the two capabilities to
// change to the user; the change to a user other than root drops all.
void Sandbox::switchUser(std::vector<std::string>& args, const std::string& user)
{
    // mmb-sim has one thread: the non-reentrant lookup is safe here.
    const passwd* entry = getpwnam(user.c_str());  // cppcheck-suppress getpwnamCalled
    if (entry == nullptr || geteuid() != 0)
        throw std::runtime_error("running as " + user + " needs root and a user of that name");
    add(args, {"--cap-add", "CAP_SETUID", "--cap-add", "CAP_SETGID", "--", "setpriv",
               "--reuid=" + std::to_string(entry->pw_uid), "--regid=" + std::to_string(entry->pw_gid),
               "--clear-groups"});
}

std::string Sandbox::programPath() const
{
    std::string path = prefix_ + "/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    if (!target_.empty())
        path = target_ + "/emulated-bin:" + path;
    // Wrappers found first on the board's PATH (a memory checker around nvram, say).
    if (const char* wrappers = std::getenv("MMBSIM_WRAPPERS"); wrappers != nullptr && *wrappers != '\0')
        path = std::string(wrappers) + ":" + path;
    return path;
}

void Sandbox::setEnvironment(std::vector<std::string>& args) const
{
    std::string preload = target_.empty() ? prefix_ + "/lib/libmmbsim-devices.so"
                                          : target_ + "/$LIB/libmmbsim-devices.so";
    std::string path = programPath();
    if (const char* existing = std::getenv("LD_PRELOAD"); existing != nullptr && *existing != '\0')
        preload = std::string(existing) + ":" + preload;
    add(args, {"--setenv", "MMBSIM_BOARD", board_.directory(), "--setenv", "LD_PRELOAD", preload,
               "--setenv", "PATH", path});
}

} // namespace sim
