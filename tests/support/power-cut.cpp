// Cuts the power in an operation on a simulated board, once for each fault
// line of DIR/cuts, and starts the board after each cut:
//   power-cut DIR COMMAND [ARG...]
// Before each cut, partition 0 and the board clock are restored from
// DIR/mram0, DIR/mram0.sum and DIR/clock, so every cut meets the same
// board. After the cut, a child loads and checks the NVRAM as a start does
// (traces to /tmp/trace.log). For cut N it leaves in DIR: N.status (the
// operation's exit status, 128 + signal when the power went, then the
// start's), N.faults (the fault when it never fired), N.image (partition 0
// after the start) and N.trace. One program, rather than a shell loop of
// tools, keeps a sweep of hundreds of cuts to seconds.
#include "InitLocalTrace.h"
#include "InitMMBFirm.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const TRACE_FILE = "/tmp/trace.log";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Exit status, or 128 + the signal that ended it.
int statusOf(pid_t child)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int runOperation(char** argv)
{
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    return statusOf(child);
}

int startBoard()
{
    std::remove(TRACE_FILE);
    pid_t child = fork();
    if (child == 0) {
        InitLocalTrace::getInstance()->fileName = TRACE_FILE;
        InitMMBFirm::getInstance()->initialize();
        _exit(0);
    }
    return statusOf(child);
}

} // namespace

int main(int argc, char** argv)
{
    const char* board = std::getenv("MMBSIM_BOARD");
    if (argc < 3 || board == nullptr) {
        std::fprintf(stderr, "usage: power-cut DIR COMMAND [ARG...] (on a board)\n");
        return 2;
    }
    std::string dir = argv[1];
    std::string hw = std::string(board) + "/hw/";
    const char* const restored[] = {"mram0", "mram0.sum", "clock"};
    std::ifstream cuts(dir + "/cuts");
    int n = 0;
    for (std::string fault; std::getline(cuts, fault); ++n) {
        for (const char* file : restored)
            writeFile(hw + file, readFile(dir + "/" + file));
        writeFile(hw + "faults", fault + "\n");
        int operation = runOperation(argv + 2);
        std::string prefix = dir + "/" + std::to_string(n);
        writeFile(prefix + ".faults", readFile(hw + "faults"));
        std::remove((hw + "faults").c_str());
        writeFile(prefix + ".status", std::to_string(operation) + "\n" + std::to_string(startBoard()) + "\n");
        writeFile(prefix + ".image", readFile(hw + "mram0"));
        writeFile(prefix + ".trace", readFile(TRACE_FILE));
    }
    return 0;
}
