#include "MramPartition.h"

#include "BoardPaths.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

namespace sim {

namespace {

uint32_t byteSum(const unsigned char* bytes, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += bytes[i];
    return sum;
}

// Closes fd and passes the result through.
template <typename T>
T closing(int fd, T result)
{
    close(fd);
    return result;
}

} // namespace

bool MramPartition::imagePath(char* out, size_t size) const
{
    return boardPath(out, size, board_, MRAM_FILE_FORMAT, number_);
}

bool MramPartition::sumPath(char* out, size_t size) const
{
    return boardPath(out, size, board_, MRAM_SUM_FORMAT, number_);
}

int MramPartition::readSum(uint32_t& sum) const
{
    char path[PATH_MAX];
    if (!sumPath(path, sizeof path))
        return ENAMETOOLONG;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    unsigned char word[4];
    if (pread(fd, word, sizeof word, 0) != static_cast<ssize_t>(sizeof word))
        return closing(fd, EIO);
    sum = static_cast<uint32_t>(word[0]) << 24 | static_cast<uint32_t>(word[1]) << 16 |
          static_cast<uint32_t>(word[2]) << 8 | word[3];
    return closing(fd, 0);
}

int MramPartition::writeSum(uint32_t sum) const
{
    char path[PATH_MAX];
    if (!sumPath(path, sizeof path))
        return ENAMETOOLONG;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    unsigned char word[4] = {static_cast<unsigned char>(sum >> 24), static_cast<unsigned char>(sum >> 16),
                             static_cast<unsigned char>(sum >> 8), static_cast<unsigned char>(sum)};
    bool ok = pwrite(fd, word, sizeof word, 0) == static_cast<ssize_t>(sizeof word);
    return closing(fd, ok ? 0 : EIO);
}

int MramPartition::computeSum(uint32_t& sum) const
{
    char path[PATH_MAX];
    if (!imagePath(path, sizeof path))
        return ENAMETOOLONG;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    unsigned char bytes[SIZE];
    ssize_t got = pread(fd, bytes, sizeof bytes, 0);
    if (got < 0)
        return closing(fd, errno);
    sum = byteSum(bytes, static_cast<size_t>(got));
    return closing(fd, 0);
}

bool MramPartition::checksumValid() const
{
    uint32_t stored = 0;
    uint32_t actual = 0;
    return readSum(stored) == 0 && computeSum(actual) == 0 && stored == actual;
}

ssize_t MramPartition::write(long long offset, const void* data, size_t length, size_t keep)
{
    if (offset < 0)
        return -EINVAL;
    if (static_cast<size_t>(offset) >= SIZE)
        return length == 0 ? 0 : -ENOSPC;
    size_t room = SIZE - static_cast<size_t>(offset);
    size_t count = length < room ? length : room;
    bool powerLost = keep < count;
    if (powerLost)
        count = keep;

    char path[PATH_MAX];
    if (!imagePath(path, sizeof path))
        return -ENAMETOOLONG;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    unsigned char old[SIZE];
    ssize_t got = pread(fd, old, count, static_cast<off_t>(offset));
    if (got < 0)
        return closing(fd, static_cast<ssize_t>(-errno));
    ssize_t put = pwrite(fd, data, count, static_cast<off_t>(offset));
    if (put < 0)
        return closing(fd, static_cast<ssize_t>(-errno));
    close(fd);
    if (powerLost) {
        if (put > 0)
            spoilChecksum();
        return put;
    }

    uint32_t sum = 0;
    if (readSum(sum) == 0) {
        sum -= byteSum(old, static_cast<size_t>(got));
        sum += byteSum(static_cast<const unsigned char*>(data), static_cast<size_t>(put));
        writeSum(sum);
    }
    return put;
}

int MramPartition::initialize() const
{
    char path[PATH_MAX];
    if (!imagePath(path, sizeof path))
        return ENAMETOOLONG;
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    unsigned char zeros[SIZE];
    memset(zeros, 0, sizeof zeros);
    bool ok = pwrite(fd, zeros, sizeof zeros, 0) == static_cast<ssize_t>(sizeof zeros);
    close(fd);
    return ok ? writeSum(0) : EIO;
}

int MramPartition::regenerateChecksum() const
{
    uint32_t sum = 0;
    int error = computeSum(sum);
    return error != 0 ? error : writeSum(sum);
}

int MramPartition::spoilChecksum() const
{
    uint32_t sum = 0;
    int error = computeSum(sum);
    return error != 0 ? error : writeSum(sum + 1);
}

int MramPartition::create() const
{
    char path[PATH_MAX];
    if (!imagePath(path, sizeof path))
        return ENAMETOOLONG;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    close(fd);
    return initialize();
}

} // namespace sim
