#include "OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openOutputFile(const std::string& path, bool replace, mode_t mode, const char* existsHint, std::string& problem)
{
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (replace ? 0 : O_EXCL);
    int fd = open(path.c_str(), flags, mode);
    if (fd < 0) {
        problem = errno == EEXIST ? std::string("exists") + existsHint : std::strerror(errno);
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & 0777 & ~mode) != 0 || ftruncate(fd, 0) != 0) {
        char text[64];
        snprintf(text, sizeof text, "not a file of this user with mode %04o: not replaced", static_cast<unsigned>(mode));
        problem = text;
        close(fd);
        return -1;
    }
    return fd;
}
