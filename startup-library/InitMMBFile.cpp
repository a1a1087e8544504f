#include "InitMMBFile.h"

#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const InitMMBFile::openMode[MODE_COUNT] = {"r", "w+", "a+b", "rb", "a"};

namespace {

// The open flags of each entry of openMode, as fopen takes them.
const int OPEN_FLAGS[InitMMBFile::MODE_COUNT] = {
    O_RDONLY, O_RDWR | O_CREAT | O_TRUNC, O_RDWR | O_CREAT | O_APPEND, O_RDONLY, O_WRONLY | O_CREAT | O_APPEND};
constexpr mode_t FOPEN_CREATE_MODE = 0666;

// Characters the shell reads as they are, wherever they stand in a word.
bool isShellSafe(const char* text)
{
    return text[strspn(text, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+,:@-")] == '\0';
}

} // namespace

InitMMBFile::~InitMMBFile()
{
    if (fp != nullptr)
        fclose(fp);
}

void InitMMBFile::makePath(const char* name, char* out)
{
    const char* prefix = secure_getenv("MMB_DEBUG_PATH");
    if (prefix == nullptr || !isShellSafe(prefix))
        prefix = "";
    int length = snprintf(out, PATH_SIZE, "%s%s", prefix, name);
    if (length < 0 || length >= PATH_SIZE)
        out[0] = '\0';
}

bool InitMMBFile::isDebugPathIgnored()
{
    const char* prefix = secure_getenv("MMB_DEBUG_PATH");
    return prefix != nullptr && !isShellSafe(prefix);
}

int InitMMBFile::isFileExist(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0 ? 1 : 0;
}

namespace {

// The folder holding path, opened with openFlags; -1 when there is none.
// The name in it goes to name.
int openFolderOf(const char* path, int openFlags, const char** name)
{
    const char* slash = strrchr(path, '/');
    *name = slash == nullptr ? path : slash + 1;
    char folder[InitMMBFile::PATH_SIZE] = ".";
    if (slash != nullptr)
        snprintf(folder, sizeof folder, "%.*s", slash == path ? 1 : static_cast<int>(slash - path), path);
    return ::open(folder, openFlags | O_DIRECTORY | O_CLOEXEC);
}

// A folder that someone other than this process's user may write, such as
// /tmp: a name in it may have been planted there.
bool othersMayWrite(const struct stat& folder)
{
    return folder.st_uid != geteuid() || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Only a regular file is read or written, so nothing blocks or runs on
// endlessly; in a folder others may write only our own file with one link.
bool isAcceptable(const struct stat& file, bool shared)
{
    return S_ISREG(file.st_mode) && (!shared || (file.st_nlink == 1 && file.st_uid == geteuid()));
}

// An open that failed because the name is no regular file: a link where
// none may be, a folder, or a FIFO or socket that cannot be opened without
// blocking.
bool isRefusal(int openErrno, bool shared)
{
    return (openErrno == ELOOP && shared) || openErrno == EISDIR || openErrno == ENXIO;
}

} // namespace

int InitMMBFile::openRegular(const char* path, int flags, mode_t createMode)
{
    // The file is opened in the very folder whose owner was judged.
    const char* name = nullptr;
    int folderFd = openFolderOf(path, O_PATH, &name);
    if (folderFd < 0)
        return -1;
    struct stat folder;
    bool shared = fstat(folderFd, &folder) != 0 || othersMayWrite(folder);
    int fd = openat(folderFd, name, (flags & ~O_TRUNC) | (shared ? O_NOFOLLOW : 0) | O_NONBLOCK | O_CLOEXEC,
                    createMode);
    int openErrno = errno;
    close(folderFd);
    if (fd < 0) {
        errno = isRefusal(openErrno, shared) ? EPERM : openErrno;
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !isAcceptable(status, shared) ||
        ((flags & O_TRUNC) != 0 && ftruncate(fd, 0) != 0)) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

int InitMMBFile::syncToStorage(int fd, const char* path)
{
    if (fsync(fd) != 0)
        return -1;
    const char* name = nullptr;
    int folderFd = openFolderOf(path, O_RDONLY, &name);
    if (folderFd < 0)
        return -1;
    int result = fsync(folderFd);
    int savedErrno = errno;
    close(folderFd);
    errno = savedErrno;
    return result;
}

int InitMMBFile::syncToStorage(const char* path)
{
    int fd = openRegular(path, O_RDONLY, 0);
    if (fd < 0)
        return -1;
    int result = syncToStorage(fd, path);
    int savedErrno = errno;
    close(fd);
    errno = savedErrno;
    return result;
}

int InitMMBFile::openTraced(const char* path, int flags, mode_t createMode)
{
    int fd = openRegular(path, flags, createMode);
    if (fd < 0 && errno == EPERM) {
        InitTraceHandler::getInstance()->outputf(20011, 0, "open(%s) refused", path);
        errno = EPERM;
    }
    return fd;
}

void InitMMBFile::setMode(int modeNumber)
{
    if (static_cast<unsigned>(modeNumber) >= MODE_COUNT) {
        InitTraceHandler::getInstance()->output(20015, 0, "setMode", path);
        throw new InitErrorLog(1, InitMMBFirm::getInstance()->mmbId, 0x39, 1, 0, 0, 0, 0);
    }
    mode = openMode[modeNumber];
}

void InitMMBFile::open(int modeNumber)
{
    setMode(modeNumber);
    int fd = openTraced(path, OPEN_FLAGS[modeNumber], FOPEN_CREATE_MODE);
    if (fd < 0)
        return;
    fp = fdopen(fd, mode);
    if (fp == nullptr)
        close(fd);
}

int InitMMBFile::printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = vfprintf(fp, format, args);
    va_end(args);
    return written;
}
