// mmb-sim: create simulated boards, look at and change their hardware, arm
// faults, and run programs on them.
#include "FaultSpec.h"
#include "MramPartition.h"
#include "Sandbox.h"
#include "SimBoard.h"
#include "StartupSet.h"

#include "board_devices.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int USAGE_ERROR = 2;

const char* const USAGE =
    "usage: mmb-sim COMMAND BOARD [ARGS]\n"
    "  create BOARD [--mmb 0|1] [--running 0|1]   a fresh board\n"
    "  reg BOARD [REG [VALUE]]                    show or set board registers\n"
    "  nvram BOARD PART [OFFSET [LENGTH]]         dump NVRAM bytes in hex\n"
    "  patch BOARD PART OFFSET HEX                write NVRAM bytes as a board program would\n"
    "  fault BOARD [list | clear | SPEC]          show, clear or arm faults\n"
    "  log BOARD cpld|events                      register writes, or tool calls and power losses\n"
    "  clock BOARD SECONDS MICROS [STEP]          a board clock moving STEP microseconds per reading\n"
    "  dual BOARD KEY [VALUE]                     show or set the redundancy state (see README)\n"
    "  mounts BOARD                               the board's mounted firmware file systems\n"
    "  run BOARD [--as USER] -- COMMAND [ARG...]  run a command on the board (as USER: a local user)\n"
    "  daemons BOARD                              the process tables and daemons the start-up program runs\n"
    "  pair ACTIVE STANDBY                        two boards as a pair, each with those daemons\n"
    "  reboot BOARD                               stop its programs and boot the HCP and bank named next\n"
    "  power-cycle BOARD                          as reboot, but the power was lost: a power-on\n"
    "  stop BOARD                                 stop every program running on the board\n"
    "BOARD is a directory, or a name under $MMBSIM_BOARDS (default: boards/ beside the bin/ of mmb-sim).\n"
    "$MMBSIM_TARGET: a cross build whose programs run on the board under emulation.\n";

// Registers the board's software uses, shown by "reg BOARD".
const uint32_t KNOWN_REGISTERS[] = {0x0070, 0x0072, 0x0076, 0x0600, 0x0610};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The simulator's tree: the folder that holds bin/mmb-sim.
std::string prefix()
{
    return fs::canonical("/proc/self/exe").parent_path().parent_path().string();
}

std::string boardDirectory(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return fs::absolute(name).lexically_normal().string();
    const char* boards = std::getenv("MMBSIM_BOARDS");
    std::string root = (boards != nullptr && *boards != '\0') ? boards : prefix() + "/boards";
    return fs::absolute(root + "/" + name).lexically_normal().string();
}

// The cross build named by the environment, or empty.
std::string targetTree()
{
    const char* target = std::getenv("MMBSIM_TARGET");
    return (target != nullptr && *target != '\0') ? fs::absolute(target).lexically_normal().string() : "";
}

sim::SimBoard existingBoard(const std::string& name)
{
    sim::SimBoard board(boardDirectory(name));
    if (!board.exists())
        throw UsageError("unknown board '" + name + "' (no board at " + board.directory() + ")");
    return board;
}

unsigned long parseNumber(const std::string& text, unsigned long max, const char* what)
{
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value > max || text[0] == '-')
        throw UsageError(std::string("bad ") + what + " '" + text + "' (0 to " + std::to_string(max) + ")");
    return value;
}

std::vector<uint8_t> parseHex(const std::string& text)
{
    if (text.empty() || text.size() % 2 != 0 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw UsageError("bad hex '" + text + "' (pairs of hex digits)");
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

int partitionArg(const std::string& text)
{
    return static_cast<int>(parseNumber(text, MRAM_PARTITIONS - 1, "partition"));
}

void need(const std::vector<std::string>& args, std::size_t min, std::size_t max)
{
    if (args.size() < min || args.size() > max)
        throw UsageError("wrong number of arguments");
}

int create(const std::vector<std::string>& args)
{
    need(args, 1, 5);
    sim::SimBoard::Options options;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size() || (args[i] != "--mmb" && args[i] != "--running"))
            throw UsageError("create takes --mmb 0|1 and --running 0|1");
        int value = static_cast<int>(parseNumber(args[i + 1], 1, args[i].c_str()));
        (args[i] == "--mmb" ? options.mmbNumber : options.runningHcp) = value;
    }
    sim::SimBoard board = sim::SimBoard::create(boardDirectory(args[0]), options);
    std::printf("%s\n", board.directory().c_str());
    return 0;
}

int reg(const std::vector<std::string>& args)
{
    need(args, 1, 3);
    sim::SimBoard board = existingBoard(args[0]);
    if (args.size() == 1) {
        for (uint32_t number : KNOWN_REGISTERS)
            std::printf("0x%04x 0x%04x\n", number, board.reg(number));
        return 0;
    }
    auto number = static_cast<uint32_t>(parseNumber(args[1], 0xFFF, "register"));
    if (args.size() == 2)
        std::printf("0x%04x\n", board.reg(number));
    else
        board.setReg(number, static_cast<uint16_t>(parseNumber(args[2], 0xFFFF, "register value")));
    return 0;
}

int nvram(const std::vector<std::string>& args)
{
    need(args, 2, 4);
    sim::SimBoard board = existingBoard(args[0]);
    std::vector<uint8_t> bytes = board.nvram(partitionArg(args[1]));
    std::size_t offset = args.size() > 2 ? parseNumber(args[2], bytes.size() - 1, "offset") : 0;
    std::size_t length = args.size() > 3 ? parseNumber(args[3], bytes.size() - offset, "length")
                                         : bytes.size() - offset;
    for (std::size_t line = offset; line < offset + length; line += 16) {
        std::printf("%04zx:", line);
        for (std::size_t i = line; i < offset + length && i < line + 16; ++i)
            std::printf(" %02x", bytes[i]);
        std::printf("\n");
    }
    return 0;
}

int patch(const std::vector<std::string>& args)
{
    need(args, 4, 4);
    sim::SimBoard board = existingBoard(args[0]);
    int partition = partitionArg(args[1]);
    std::size_t offset = parseNumber(args[2], sim::MramPartition::SIZE - 1, "offset");
    std::vector<uint8_t> bytes = parseHex(args[3]);
    if (offset + bytes.size() > sim::MramPartition::SIZE)
        throw UsageError("patch runs past the end of the partition");
    board.patchNvram(partition, offset, bytes);
    return 0;
}

int fault(const std::vector<std::string>& args)
{
    need(args, 1, 12);
    sim::SimBoard board = existingBoard(args[0]);
    if (args.size() == 1 || (args.size() == 2 && args[1] == "list")) {
        for (const std::string& line : board.faults())
            std::printf("%s\n", line.c_str());
        return 0;
    }
    if (args.size() == 2 && args[1] == "clear") {
        board.clearFaults();
        return 0;
    }
    if (args[1] == "checksum-bad") {
        need(args, 3, 3);
        board.spoilNvramChecksum(partitionArg(args[2]));
        return 0;
    }
    std::string spec;
    for (std::size_t i = 1; i < args.size(); ++i)
        spec += (i > 1 ? " " : "") + args[i];
    try {
        board.addFault(spec);
    } catch (const std::invalid_argument& error) {
        throw UsageError(error.what());
    }
    return 0;
}

int log(const std::vector<std::string>& args)
{
    need(args, 2, 2);
    sim::SimBoard board = existingBoard(args[0]);
    if (args[1] != "cpld" && args[1] != "events")
        throw UsageError("log is cpld or events");
    for (const std::string& line : args[1] == "cpld" ? board.cpldWrites() : board.events())
        std::printf("%s\n", line.c_str());
    return 0;
}

int clock(const std::vector<std::string>& args)
{
    need(args, 3, 4);
    sim::SimBoard board = existingBoard(args[0]);
    auto seconds = static_cast<long long>(parseNumber(args[1], 0xFFFFFFFF, "seconds"));
    auto micros = static_cast<long long>(parseNumber(args[2], 999999, "microseconds"));
    auto step = args.size() > 3 ? static_cast<long long>(parseNumber(args[3], 60000000, "step")) : 0;
    board.setClock(seconds, micros, step);
    return 0;
}

int dual(const std::vector<std::string>& args)
{
    need(args, 2, 3);
    sim::SimBoard board = existingBoard(args[0]);
    if (args.size() == 2)
        std::printf("%s\n", board.dualSetting(args[1]).c_str());
    else
        board.setDualSetting(args[1], args[1] == "peer" ? boardDirectory(args[2]) : args[2]);
    return 0;
}

int mounts(const std::vector<std::string>& args)
{
    need(args, 1, 1);
    for (const sim::MountEntry& entry : existingBoard(args[0]).mounts())
        std::printf("%s on %s\n", entry.device.c_str(), entry.directory.c_str());
    return 0;
}

int daemons(const std::vector<std::string>& args)
{
    need(args, 1, 1);
    sim::installStartupSet(existingBoard(args[0]), prefix() + "/bin");
    return 0;
}

int pair(const std::vector<std::string>& args)
{
    need(args, 2, 2);
    sim::SimBoard active = existingBoard(args[0]);
    sim::SimBoard standby = existingBoard(args[1]);
    if (active.directory() == standby.directory())
        throw UsageError("a board cannot pair with itself");
    for (const sim::SimBoard& board : {active, standby})
        sim::installStartupSet(board, prefix() + "/bin");
    sim::makePair(active, standby);
    return 0;
}

int reboot(const std::vector<std::string>& args)
{
    need(args, 1, 1);
    existingBoard(args[0]).reboot();
    return 0;
}

int powerCycle(const std::vector<std::string>& args)
{
    need(args, 1, 1);
    existingBoard(args[0]).powerCycle();
    return 0;
}

int stop(const std::vector<std::string>& args)
{
    need(args, 1, 1);
    existingBoard(args[0]).stopPrograms();
    return 0;
}

int run(const std::vector<std::string>& args)
{
    std::size_t separator = args.size() > 3 && args[1] == "--as" ? 3 : 1;
    if (args.size() < separator + 2 || args[separator] != "--")
        throw UsageError("run BOARD -- COMMAND [ARG...], or run BOARD --as USER -- COMMAND [ARG...]");
    sim::SimBoard board = existingBoard(args[0]);
    sim::Sandbox sandbox(board, prefix(), targetTree());
    std::vector<std::string> line = sandbox.commandLine(
        std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(separator) + 1, args.end()),
        separator == 3 ? args[2] : "");
    std::vector<char*> argv;
    for (std::string& word : line)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    // Board programs start as the board starts them, whatever the caller's
    // shell ignored; the simulated init scripts rely on it to tell a
    // background call from one that is waited for.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGQUIT, SIG_DFL);
    execvp(argv[0], argv.data());
    throw std::runtime_error(std::string("execvp(bwrap) failed: ") + std::strerror(errno) +
                             " (install the bubblewrap package)");
}

struct Command {
    const char* name;
    int (*handler)(const std::vector<std::string>&);
};

const Command COMMANDS[] = {
    {"create", create}, {"reg", reg}, {"nvram", nvram}, {"patch", patch}, {"fault", fault},
    {"log", log},       {"clock", clock}, {"dual", dual}, {"mounts", mounts}, {"run", run},
    {"daemons", daemons}, {"pair", pair}, {"reboot", reboot}, {"power-cycle", powerCycle}, {"stop", stop},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs(USAGE, stderr);
        return USAGE_ERROR;
    }
    std::string name = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& command : COMMANDS) {
        if (name != command.name)
            continue;
        try {
            return command.handler(args);
        } catch (const UsageError& error) {
            std::fprintf(stderr, "mmb-sim %s: %s\n", name.c_str(), error.what());
            return USAGE_ERROR;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "mmb-sim %s: %s\n", name.c_str(), error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "mmb-sim: unknown command '%s'\n%s", name.c_str(), USAGE);
    return USAGE_ERROR;
}
