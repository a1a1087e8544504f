// The main of every test program. The tests run in a child; this process is
// the subreaper of all they start, so whatever they leave running (a daemon
// whose supervisor died, a step program whose sandbox was killed) is taken
// in here rather than by init, and stopped when the tests end, however they
// end: passed, failed, thrown or crashed.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The live processes whose parent is this one.
std::vector<pid_t> liveChildren()
{
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text;
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || !std::getline(stat, text))
            continue;
        char state = 0;
        int parent = 0;
        std::size_t end = text.rfind(')');  // the state and the parent follow the name
        if (end != std::string::npos && std::sscanf(text.c_str() + end + 1, " %c %d", &state, &parent) == 2 &&
            parent == getpid() && state != 'Z' && state != 'X')
            children.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    }
    if (proc != nullptr)
        closedir(proc);
    return children;
}

std::string executableOf(pid_t pid)
{
    char path[4096] = {};
    ssize_t got = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), path, sizeof path - 1);
    return got > 0 ? path : "?";
}

// Kills what is left, in rounds: the children of a killed program come
// here in turn.
void stopLeftovers()
{
    std::set<pid_t> stopped;
    for (;;) {
        for (pid_t pid : liveChildren()) {
            if (stopped.insert(pid).second)
                std::fprintf(stderr, "stopping %d (%s), left running by the tests\n", pid, executableOf(pid).c_str());
            kill(pid, SIGKILL);
        }
        if (waitpid(-1, nullptr, 0) < 0 && errno == ECHILD)
            return;
    }
}

// Reaps what ends while the tests run, as init would; the tests' status.
int waitForTests(pid_t tests)
{
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid == tests)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (pid < 0 && errno != EINTR) {
            std::perror("test runner: waitpid");
            return 1;
        }
    }
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
    if (tests < 0) {
        std::perror("test runner: fork");
        return 1;
    }
    // A daemon taken in here signals its parent as it would its supervisor.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    int status = waitForTests(tests);
    stopLeftovers();
    return status;
}
