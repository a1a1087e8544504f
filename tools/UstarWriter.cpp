#include "UstarWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr std::size_t BLOCK = 512;
constexpr std::size_t NAME_SIZE = 100;
constexpr std::size_t PREFIX_SIZE = 155;

// The header's fields by their offsets.
constexpr std::size_t MODE = 100, UID = 108, GID = 116, SIZE = 124, MTIME = 136, CHECKSUM = 148, TYPE = 156,
                      LINK_NAME = 157, MAGIC = 257, VERSION = 263, PREFIX = 345;

// Where path splits into prefix and name; npos when it fits the name alone.
bool splitPoint(const std::string& path, std::size_t& slash)
{
    slash = std::string::npos;
    if (path.size() <= NAME_SIZE)
        return true;
    for (slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (slash <= PREFIX_SIZE && path.size() - slash - 1 <= NAME_SIZE && slash + 1 < path.size())
            return true;
    return false;
}

void octal(char* field, std::size_t width, unsigned long long value)
{
    std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), value);
}

} // namespace

bool UstarWriter::fits(const std::string& path)
{
    std::size_t slash = 0;
    return !path.empty() && splitPoint(path, slash);
}

bool UstarWriter::add(const std::string& path, Type type, const std::vector<uint8_t>& bytes, uint32_t mtime,
                      const std::string& linkTarget)
{
    std::size_t slash = 0;
    if (!splitPoint(path, slash) || linkTarget.size() > NAME_SIZE) {
        errno = ENAMETOOLONG;
        return false;
    }
    char header[BLOCK] = {};
    if (slash == std::string::npos) {
        std::copy(path.begin(), path.end(), header);
    } else {
        std::copy_n(path.begin(), slash, header + PREFIX);
        std::copy(path.begin() + static_cast<std::ptrdiff_t>(slash) + 1, path.end(), header);
    }
    octal(header + MODE, 8, type == Type::File ? 0644 : 0755);
    octal(header + UID, 8, 0);
    octal(header + GID, 8, 0);
    octal(header + SIZE, 12, type == Type::File ? bytes.size() : 0);
    octal(header + MTIME, 12, mtime);
    header[TYPE] = static_cast<char>(type);
    std::copy(linkTarget.begin(), linkTarget.end(), header + LINK_NAME);
    std::copy_n("ustar", 6, header + MAGIC);
    std::copy_n("00", 2, header + VERSION);
    std::fill_n(header + CHECKSUM, 8, ' ');
    unsigned sum = 0;
    for (char byte : header)
        sum += static_cast<unsigned char>(byte);
    std::snprintf(header + CHECKSUM, 8, "%06o", sum);  // six digits, NUL, and the space already there
    if (!writeAll(header, BLOCK))
        return false;
    if (type != Type::File || bytes.empty())
        return true;
    static const char padding[BLOCK] = {};
    return writeAll(bytes.data(), bytes.size()) && writeAll(padding, (BLOCK - bytes.size() % BLOCK) % BLOCK);
}

bool UstarWriter::finish()
{
    static const char end[2 * BLOCK] = {};
    return writeAll(end, sizeof end);
}

bool UstarWriter::writeAll(const void* data, std::size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(fd_, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}
