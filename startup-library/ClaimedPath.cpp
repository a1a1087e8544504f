#include "ClaimedPath.h"

#include "InitTraceHandler.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t FILE_MODE = 0666;  // as the shell's redirection or touch would make it
constexpr mode_t DIRECTORY_MODE = 0700;
constexpr mode_t WORK_FILE_MODE = 0600;  // work files may hold the boot flash image

bool ours(const struct stat& status)
{
    return status.st_uid == geteuid();
}

// A planted folder is only removed when empty: emptying a tree another user
// can still change would follow links planted in it meanwhile.
bool removeEntry(const char* path, const struct stat& status)
{
    return (S_ISDIR(status.st_mode) ? rmdir(path) : unlink(path)) == 0;
}

bool createFile(const char* path, mode_t mode)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// An entry this user made: a folder of ours, or any other entry of ours
// with one name (another user may only add a hard link to what we made).
bool madeByUs(const struct stat& status)
{
    return ours(status) && (S_ISDIR(status.st_mode) || status.st_nlink == 1);
}

// Another user's folder is renamed aside, whatever it holds, into a fresh
// name of ours: renaming never looks inside it, so no link planted in it is
// followed, and its owner keeps it.
bool moveAside(const char* path)
{
    char aside[PATH_MAX + sizeof ".XXXXXX"];
    snprintf(aside, sizeof aside, "%s.XXXXXX", path);
    if (mkdtemp(aside) == nullptr)
        return false;
    if (rename(path, aside) == 0)
        return true;
    rmdir(aside);
    return false;
}

bool removeFolderEntry(const char* path, const struct stat& status)
{
    return removeEntry(path, status) || (S_ISDIR(status.st_mode) && moveAside(path));
}

} // namespace

bool claimFile(const char* path)
{
    struct stat status;
    if (lstat(path, &status) == 0) {
        if (S_ISREG(status.st_mode) && ours(status) && status.st_nlink == 1)
            return true;
        if (!removeEntry(path, status))
            return false;
    }
    return createFile(path, FILE_MODE);
}

bool claimDirectory(const char* path)
{
    struct stat status;
    if (lstat(path, &status) == 0) {
        if (madeByUs(status))
            return true;
        if (!removeFolderEntry(path, status))
            return false;
    }
    return mkdir(path, DIRECTORY_MODE) == 0;
}

bool claimNewFile(const char* path)
{
    struct stat status;
    if (lstat(path, &status) == 0 && !removeEntry(path, status))
        return false;
    return createFile(path, WORK_FILE_MODE);
}

void traceClaimFailure(const char* path)
{
    InitTraceHandler::getInstance()->outputf(20011, 0, "claim(%s) failed errno=%d", path, errno);
}
