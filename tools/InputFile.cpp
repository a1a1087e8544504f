#include "InputFile.h"

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

std::string failure(const char* call)
{
    return std::string("cannot ") + call + ": " + std::strerror(errno);
}

// Reads one byte past the largest form, so that a larger input shows and is refused.
bool readBytes(int fd, std::vector<uint8_t>& bytes, std::string& problem)
{
    bytes.resize(INPUT_MAX_SIZE + 1);
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
    if (used <= INPUT_MAX_SIZE)
        return true;
    problem = "more than " + std::to_string(INPUT_MAX_SIZE) + " bytes: larger than any form";
    return false;
}

bool readEntries(int fd, std::vector<std::string>& entries, std::string& problem)
{
    DIR* directory = fdopendir(fd);
    if (directory == nullptr) {
        problem = failure("list the directory");
        close(fd);
        return false;
    }
    errno = 0;
    // readdir_r is deprecated; this program has one thread.
    // cppcheck-suppress readdirCalled
    while (const dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back(name);
    }
    bool listed = errno == 0;
    if (!listed)
        problem = failure("list the directory");
    closedir(directory);
    std::sort(entries.begin(), entries.end(), errorLogNameBefore);
    return listed;
}

// (0, seconds, milliseconds) for an error log name, (1, 0, 0) for any other.
std::tuple<int, long long, long long> timeOf(const std::string& name)
{
    const char* end = name.data() + name.size();
    long long seconds = 0;
    long long millis = 0;
    auto [dot, secondsError] = std::from_chars(name.data(), end, seconds);
    if (secondsError != std::errc() || dot == end || *dot != '.')
        return {1, 0, 0};
    auto [stop, millisError] = std::from_chars(dot + 1, end, millis);
    if (millisError != std::errc() || stop != end || stop == dot + 1)
        return {1, 0, 0};
    return {0, seconds, millis};
}

} // namespace

bool errorLogNameBefore(const std::string& left, const std::string& right)
{
    auto leftTime = timeOf(left);
    auto rightTime = timeOf(right);
    if (leftTime != rightTime)
        return leftTime < rightTime;
    return left < right;
}

bool readInputFile(const std::string& path, InputFile& input, std::string& problem)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = failure("open");
        return false;
    }
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        input.directory = true;
        return readEntries(fd, input.entries, problem);
    }
    bool complete = readBytes(fd, input.bytes, problem);
    close(fd);
    return complete;
}
