#include "InputFile.h"

#include "BoardFileName.h"
#include "RecordForm.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// (0, seconds, milliseconds) for a timed name, (1, 0, 0) for any other.
std::tuple<int, long long, long long> timeOf(const std::string& name)
{
    uint32_t seconds = 0;
    if (!secondsOfFileName(name, seconds))
        return {1, 0, 0};
    RecordForm form = RecordForm::ErrorLog;
    long long millis = 0;
    if (boardFileForm("var/mmb/log/init/", name, form))
        std::from_chars(name.data() + name.rfind('.') + 1, name.data() + name.size(), millis);
    return {0, seconds, millis};
}

constexpr int OPEN_FLAGS = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

std::string failure(const char* call)
{
    return std::string("cannot ") + call + ": " + std::strerror(errno);
}

// Reads one byte past the largest form, so that a larger input shows and is refused.
bool readBytes(int fd, std::vector<uint8_t>& bytes, std::string& problem)
{
    if (!readUpTo(fd, INPUT_MAX_SIZE + 1, bytes, problem))
        return false;
    std::size_t used = bytes.size();
    if (used <= INPUT_MAX_SIZE)
        return true;
    problem = "more than " + std::to_string(INPUT_MAX_SIZE) + " bytes: larger than any form";
    return false;
}

bool readEntries(int fd, std::vector<std::string>& entries, std::string& problem)
{
    DIR* directory = fdopendir(dup(fd));
    if (directory == nullptr) {
        problem = failure("list the directory");
        return false;
    }
    errno = 0;
    // readdir_r is deprecated; this program has one thread.
    // cppcheck-suppress readdirCalled
    while (const dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back(name);
        if (entries.size() > DIRECTORY_MAX_ENTRIES)
            break;
    }
    bool listed = errno == 0;
    if (!listed)
        problem = failure("list the directory");
    closedir(directory);
    if (listed && entries.size() > DIRECTORY_MAX_ENTRIES) {
        problem = "more than " + std::to_string(DIRECTORY_MAX_ENTRIES) + " entries: not read";
        return false;
    }
    std::sort(entries.begin(), entries.end(), fileNameBefore);
    return listed;
}

const char* kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISBLK(mode))
        return "a block device";
    return "of an unknown type";
}

// Reads what fd has open, and closes it unless it is a directory.
bool readOpened(int fd, InputFile& input, std::string& problem)
{
    struct stat status;
    if (fstat(fd, &status) != 0) {
        problem = failure("stat");
        close(fd);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        input.directory = true;
        input.fd = fd;
        return readEntries(fd, input.entries, problem);
    }
    bool readable = S_ISREG(status.st_mode) || S_ISCHR(status.st_mode);
    if (S_ISCHR(status.st_mode))  // a driver reads as it always does; only the open had to return at once
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!readable)
        problem = std::string("not a file, a device or a directory: ") + kindOf(status.st_mode);
    bool complete = readable && readBytes(fd, input.bytes, problem);
    close(fd);
    return complete;
}

// Why name could not be opened; a link is named with its target.
std::string openProblem(int directoryFd, const std::string& name, InputFile& input)
{
    int error = errno;
    input.missing = error == ENOENT;
    char target[256] = {};
    ssize_t length = readlinkat(directoryFd, name.c_str(), target, sizeof target - 1);
    if (length >= 0)
        return "a symbolic link to " + std::string(target, static_cast<std::size_t>(length)) + ", not followed";
    errno = error;
    return error == ENOTDIR ? "not a directory" : failure("open");
}

} // namespace

bool readUpTo(int fd, std::size_t limit, std::vector<uint8_t>& bytes, std::string& problem)
{
    bytes.resize(limit);
    std::size_t used = 0;
    while (used < bytes.size()) {
        ssize_t got = read(fd, bytes.data() + used, bytes.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem = failure("read");
            return false;
        }
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return true;
}

bool fileNameBefore(const std::string& left, const std::string& right)
{
    auto leftTime = timeOf(left);
    auto rightTime = timeOf(right);
    if (leftTime != rightTime)
        return leftTime < rightTime;
    return left < right;
}

bool readInputFile(const std::string& path, InputFile& input, std::string& problem)
{
    int fd = open(path.c_str(), OPEN_FLAGS);
    if (fd < 0) {
        input.missing = errno == ENOENT;
        problem = failure("open");
        return false;
    }
    return readOpened(fd, input, problem);
}

bool readInputAt(int directoryFd, const std::string& name, InputFile& input, std::string& problem)
{
    int fd = openat(directoryFd, name.c_str(), OPEN_FLAGS | O_NOFOLLOW);
    if (fd >= 0)
        return readOpened(fd, input, problem);
    problem = openProblem(directoryFd, name, input);
    return false;
}

bool openFolderAt(int directoryFd, const std::string& name, InputFile& input, std::string& problem)
{
    int fd = openat(directoryFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = openProblem(directoryFd, name, input);
        return false;
    }
    input.directory = true;
    input.fd = fd;
    return true;
}

void closeInput(InputFile& input)
{
    if (input.fd >= 0)
        close(input.fd);
    input.fd = -1;
}
