// The main of every test program. The tests run in a child; this process is
// the subreaper of all they start, so whatever they leave running (a daemon
// whose supervisor died, a step program whose sandbox was killed) is taken
// in here rather than by init, and stopped when the tests end, however they
// end: passed, failed, thrown or crashed.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The live processes whose parent is this one ("pid (name) state ppid ...").
std::set<pid_t> liveChildren()
{
    std::set<pid_t> children;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator("/proc")) {
        std::string stat;
        std::getline(std::ifstream(entry.path() / "stat"), stat);
        char state = 0;
        int pid = 0, parent = 0;
        std::size_t end = stat.rfind(')');
        if (end != std::string::npos && std::sscanf(stat.c_str(), "%d", &pid) == 1 &&
            std::sscanf(stat.c_str() + end + 1, " %c %d", &state, &parent) == 2 && parent == getpid() && state != 'Z')
            children.insert(pid);
    }
    return children;
}

// Kills what is left, in rounds: the children of a killed program come here in turn.
void stopLeftovers()
{
    std::set<pid_t> stopped;
    do {
        for (pid_t pid : liveChildren()) {
            std::error_code error;
            if (stopped.insert(pid).second)
                std::fprintf(stderr, "stopping %d (%s), left running by the tests\n", pid,
                             std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).c_str());
            kill(pid, SIGKILL);
        }
    } while (waitpid(-1, nullptr, 0) > 0 || errno != ECHILD);
}

} // namespace

int main(int argc, char** argv)
{
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        std::perror("test runner: PR_SET_CHILD_SUBREAPER");
    pid_t tests = fork();
    if (tests == 0) {
        testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    if (tests < 0)
        std::perror("test runner: fork");
    // A daemon taken in here signals its parent as it would its supervisor.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    int status = 0;
    // Reaps what ends meanwhile, as init would.
    while (tests > 0 && waitpid(-1, &status, 0) != tests) {
    }
    stopLeftovers();
    return tests < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
