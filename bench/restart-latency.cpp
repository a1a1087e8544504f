// Kills the daemon that a supervisor keeps, again and again, and prints how
// long each replacement took to exist: from the SIGKILL to the moment a new
// child of the supervisor runs the daemon's program (a helper the supervisor
// forks meanwhile, such as s6's ./finish, does not count). One line per kill:
// microseconds until that child was first seen (its fork) and until it ran
// the daemon (its exec). Each daemon is first left to live LIFE_MS, so that
// no supervisor's respawn throttle applies.
// Usage: restart-latency SUPERVISOR_PID DAEMON_NAME KILLS LIFE_MS
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr long WAIT_LIMIT_MS = 10000;  // a supervisor that needs longer has failed

long long nowMicros()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void sleepMillis(long millis)
{
    timespec pause = {millis / 1000, (millis % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

std::string readText(const std::string& path)
{
    char text[256] = {};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "";
    ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    return got > 0 ? std::string(text, static_cast<size_t>(got)) : "";
}

// The name the kernel gives the process: set by its exec, from the program's file name.
std::string commandName(pid_t pid)
{
    std::string name = readText("/proc/" + std::to_string(pid) + "/comm");
    return name.substr(0, name.find('\n'));
}

struct Arrival {
    pid_t pid;
    long long forked;  // microseconds, CLOCK_MONOTONIC
    long long execed;
};

// The supervisor's children, read again at each call from one descriptor:
// a busy poll of one system call, so that the wake-up is seen at once.
class Children {
public:
    explicit Children(pid_t supervisor)
    {
        std::string path = "/proc/" + std::to_string(supervisor) + "/task/" + std::to_string(supervisor) + "/children";
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            std::fprintf(stderr, "restart-latency: open(%s) failed: %s\n", path.c_str(), std::strerror(errno));
            std::exit(1);
        }
    }

    // Waits for a child other than excluded that runs the program name;
    // exits when none comes. Returns it with the time it was first seen
    // (its fork) and the time it was seen running name (its exec).
    Arrival await(pid_t excluded, const std::string& name) const
    {
        std::map<pid_t, long long> firstSeen;
        long long limit = nowMicros() + WAIT_LIMIT_MS * 1000;
        for (long long now = nowMicros(); now < limit; now = nowMicros()) {
            for (pid_t pid : list()) {
                if (pid == excluded)
                    continue;
                long long seen = firstSeen.emplace(pid, now).first->second;
                if (commandName(pid) == name)
                    return {pid, seen, nowMicros()};
            }
        }
        std::fprintf(stderr, "restart-latency: no %s within %ld ms\n", name.c_str(), WAIT_LIMIT_MS);
        std::exit(1);
    }

private:
    std::vector<pid_t> list() const
    {
        char text[4096];
        ssize_t got = pread(fd_, text, sizeof text - 1, 0);
        text[got > 0 ? got : 0] = '\0';
        std::vector<pid_t> pids;
        for (char* word = std::strtok(text, " \n"); word != nullptr; word = std::strtok(nullptr, " \n"))
            pids.push_back(static_cast<pid_t>(std::atol(word)));
        return pids;
    }

    int fd_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: restart-latency SUPERVISOR_PID DAEMON_NAME KILLS LIFE_MS\n");
        return 2;
    }
    auto supervisor = static_cast<pid_t>(std::atol(argv[1]));
    std::string daemonName = argv[2];
    long kills = std::atol(argv[3]);
    long lifeMillis = std::atol(argv[4]);
    Children children(supervisor);
    pid_t daemon = children.await(0, daemonName).pid;
    for (long i = 0; i < kills; ++i) {
        sleepMillis(lifeMillis);
        long long start = nowMicros();
        if (kill(daemon, SIGKILL) != 0) {
            std::fprintf(stderr, "restart-latency: kill(%d) failed: %s\n", static_cast<int>(daemon),
                         std::strerror(errno));
            return 1;
        }
        Arrival replacement = children.await(daemon, daemonName);
        std::printf("%lld %lld\n", replacement.forked - start, replacement.execed - start);
        std::fflush(stdout);
        daemon = replacement.pid;
    }
    return 0;
}
