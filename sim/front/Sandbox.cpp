#include "Sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

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

void Sandbox::refuseHiddenTrees() const
{
    for (const std::string& tree : {prefix_, target_, board_.directory(), board_.dualSetting("peer")})
        for (const char* folder : HIDING_FOLDERS)
            if (!tree.empty() && isUnder(tree, folder))
                throw std::runtime_error(tree + " lies under " + folder +
                                         ", which the board's own tree hides; keep boards and builds elsewhere");
}

std::vector<std::string> Sandbox::commandLine(const std::vector<std::string>& command) const
{
    refuseHiddenTrees();
    std::vector<std::string> args = {"bwrap", "--die-with-parent", "--ro-bind", "/", "/", "--dev", "/dev"};
    if (geteuid() != 0)
        add(args, {"--unshare-user", "--uid", "0", "--gid", "0"});
    // The simulated mount binds a firmware file system inside the namespace.
    add(args, {"--cap-add", "CAP_SYS_ADMIN"});
    bindBoardTree(args);
    bindHostTrees(args);
    bindSimulatedTools(args);
    bindMounts(args);
    setEnvironment(args);
    add(args, {"--chdir", "/", "--"});
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
// bound back on top at its own path, as it is outside: the builds
// read-only, the boards (which lie in a build) writable. The board's files
// around it stay its own; the mount point left in the board's folder is an
// empty directory.
void Sandbox::bindHostTrees(std::vector<std::string>& args) const
{
    for (const std::string& build : {prefix_, target_})
        if (!build.empty())
            add(args, {BUILD_BIND, build, build});
    add(args, {"--bind", board_.directory(), board_.directory()});
    if (std::string peer = board_.dualSetting("peer"); !peer.empty())
        add(args, {"--bind", peer, peer});
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

void Sandbox::setEnvironment(std::vector<std::string>& args) const
{
    std::string preload = target_.empty() ? prefix_ + "/lib/libmmbsim-devices.so"
                                          : target_ + "/$LIB/libmmbsim-devices.so";
    std::string path = prefix_ + "/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    if (!target_.empty())
        path = target_ + "/emulated-bin:" + path;
    // Wrappers found first on the board's PATH (a memory checker around nvram, say).
    if (const char* wrappers = std::getenv("MMBSIM_WRAPPERS"); wrappers != nullptr && *wrappers != '\0')
        path = std::string(wrappers) + ":" + path;
    if (const char* existing = std::getenv("LD_PRELOAD"); existing != nullptr && *existing != '\0')
        preload = std::string(existing) + ":" + preload;
    add(args, {"--setenv", "MMBSIM_BOARD", board_.directory(), "--setenv", "LD_PRELOAD", preload,
               "--setenv", "PATH", path});
}

} // namespace sim
