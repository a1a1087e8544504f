// A local user racing root for a fixed work file name: keeps a FIFO at PATH,
// put back as soon as it is removed, and feeds the content of a file to
// every reader that opens it, until the stop file exists (or the folder is
// gone):
//   fifo-feeder PATH CONTENT-FILE STOP-FILE
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void feed(int fd, const std::string& content)
{
    fcntl(fd, F_SETFL, 0);  // the reader is there: write all of it
    if (write(fd, content.data(), content.size()) < 0)
        perror("fifo-feeder: write");
    close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fputs("usage: fifo-feeder PATH CONTENT-FILE STOP-FILE\n", stderr);
        return 2;
    }
    std::ostringstream content;
    content << std::ifstream(argv[2]).rdbuf();
    signal(SIGPIPE, SIG_IGN);  // a reader that left early costs one feed, not the attacker
    while (access(argv[3], F_OK) != 0) {
        if (mkfifo(argv[1], 0666) != 0 && errno == ENOENT)
            return 0;
        // Opens only while a reader has the FIFO open.
        int fd = open(argv[1], O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            feed(fd, content.str());
    }
    return 0;
}
