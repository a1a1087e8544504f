#include "Process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

void drainPipes(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// Starts argv[0] (searched in PATH) with the file actions, which it releases.
// It gets the standard streams alone, as a board's programs start: nothing
// the test's own caller left open reaches the board.
pid_t spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t& actions)
{
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("posix_spawnp(" + argv[0] + ") failed: " + std::strerror(error));
    return pid;
}

std::vector<std::string> simCommand(const std::vector<std::string>& args)
{
    // A cross build's programs run on boards under emulation.
    if (*MMB_TARGET_DIR != '\0')
        setenv("MMBSIM_TARGET", MMB_TARGET_DIR, 1);
    std::vector<std::string> argv = {std::string(MMB_BIN_DIR) + "/mmb-sim"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> runCommand(const sim::SimBoard& board, const std::vector<std::string>& command,
                                    const std::string& user = "")
{
    std::vector<std::string> args = {"run", board.directory()};
    if (!user.empty())
        args.insert(args.end(), {"--as", user});
    args.push_back("--");
    args.insert(args.end(), command.begin(), command.end());
    return args;
}

} // namespace

ProcessResult runProgram(const std::vector<std::string>& argv)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe2 failed: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = spawn(argv, actions);
    close(outPipe[1]);
    close(errPipe[1]);
    ProcessResult result{-1, "", ""};
    drainPipes(outPipe[0], errPipe[0], result.out, result.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ProcessResult runSim(const std::vector<std::string>& args)
{
    return runProgram(simCommand(args));
}

ProcessResult runOnBoard(const sim::SimBoard& board, const std::vector<std::string>& command)
{
    return runSim(runCommand(board, command));
}

pid_t startOnBoard(const sim::SimBoard& board, const std::vector<std::string>& command,
                   const std::string& outputFile, const std::string& user)
{
    std::vector<std::string> argv = simCommand(runCommand(board, command, user));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    return spawn(argv, actions);
}

ProcessResult shellOnBoard(const sim::SimBoard& board, const std::string& script, const std::string& user)
{
    return runSim(runCommand(board, {"sh", "-c", script}, user));
}

bool waitUntil(const std::function<bool()>& condition)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (condition())
            return true;
    return false;
}
