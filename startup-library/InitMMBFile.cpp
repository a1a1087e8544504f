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

int InitMMBFile::openRegular(const char* path, int flags, mode_t createMode)
{
    int fd = ::open(path, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, createMode);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
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
    char folder[PATH_SIZE];
    const char* slash = strrchr(path, '/');
    if (slash == nullptr)
        snprintf(folder, sizeof folder, ".");
    else
        snprintf(folder, sizeof folder, "%.*s", slash == path ? 1 : static_cast<int>(slash - path), path);
    int folderFd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    int fd = openRegular(path, OPEN_FLAGS[modeNumber], FOPEN_CREATE_MODE);
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
