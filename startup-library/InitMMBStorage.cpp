#include "InitMMBStorage.h"

#include "InitMMBFile.h"
#include "InitMMBHistory.h"
#include "InitTraceHandler.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* CORE_DIR = "/var/mmb/core";
constexpr const char* HOLD_DIR = "core_hold";  // never matched by "core.<module>*"
constexpr const char* ERROR_LOG_DIR = "/var/mmb/log/init";
constexpr const char* SAVE_DIR = "/var/mmb/core/core_save";  // used as given, as its writers do

InitTraceHandler* trace()
{
    return InitTraceHandler::getInstance();
}

struct Entry {
    std::string name;
    timespec modified;
};

bool newerFirst(const Entry& a, const Entry& b)
{
    if (a.modified.tv_sec != b.modified.tv_sec)
        return a.modified.tv_sec > b.modified.tv_sec;
    if (a.modified.tv_nsec != b.modified.tv_nsec)
        return a.modified.tv_nsec > b.modified.tv_nsec;
    return a.name > b.name;
}

bool startsWith(const char* text, const std::string& prefix)
{
    return strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

// The plain files of folder whose names begin with prefix, newest first.
std::vector<Entry> filesOf(const std::string& folder, const std::string& prefix)
{
    std::vector<Entry> files;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return files;
    while (dirent* entry = readdir(dir)) {
        struct stat status;
        bool plain = fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
        if (plain && startsWith(entry->d_name, prefix))
            files.push_back({entry->d_name, status.st_mtim});
    }
    closedir(dir);
    std::sort(files.begin(), files.end(), newerFirst);
    return files;
}

void removeFile(const std::string& path)
{
    if (unlink(path.c_str()) != 0)
        trace()->outputf(20011, 0, "unlink(%s) failed errno=%d", path.c_str(), errno);
}

// When this process started, on the clock of file times: files modified
// since then belong to this boot's start-up.
timespec processStart()
{
    timespec start = {0, 0};
    FILE* stat = fopen("/proc/self/stat", "re");
    if (stat == nullptr)
        return start;
    char text[1024] = {};
    size_t got = fread(text, 1, sizeof text - 1, stat);
    fclose(stat);
    text[got] = '\0';
    // Field 22, the start in clock ticks after boot, counted after the name's ")".
    const char* field = strrchr(text, ')');
    for (int skipped = 0; field != nullptr && skipped < 20; ++skipped)
        field = strchr(field + 1, ' ');
    if (field == nullptr)
        return start;
    unsigned long long ticks = strtoull(field + 1, nullptr, 10);
    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0)
        return start;
    timespec now;
    timespec sinceBoot;
    clock_gettime(CLOCK_REALTIME, &now);
    clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
    return InitMMBStorage::startOnRealClock(now, sinceBoot, ticks, ticksPerSecond);
}

// Whole seconds: a file of the second this process started counts as its own.
bool before(const timespec& time, const timespec& limit)
{
    return time.tv_sec < limit.tv_sec;
}

void prune(const std::string& folder, const std::string& prefix, size_t keep, const timespec& thisStart)
{
    std::vector<Entry> files = filesOf(folder, prefix);
    int removed = 0;
    for (size_t i = keep; i < files.size(); ++i) {
        if (before(files[i].modified, thisStart)) {
            removeFile(folder + "/" + files[i].name);
            ++removed;
        }
    }
    if (removed > 0)
        trace()->outputf(20002, 1, "pruned %d of %s/%s*", removed, folder.c_str(), prefix.c_str());
}

void writeSetting(const char* name, const char* value)
{
    char path[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(name, path);
    int fd = InitMMBFile::openRegular(path, O_WRONLY, 0);
    size_t length = strlen(value);
    bool written = fd >= 0 && write(fd, value, length) == static_cast<ssize_t>(length);
    int error = errno;
    if (fd >= 0)
        close(fd);
    if (!written)
        trace()->outputf(20011, 0, "write(%s) failed errno=%d", path, error);
}

// "core.<module>" or "core.<module>.<digits>": the module's own, not one
// of a module whose name merely begins the same.
bool isOwnCore(const char* fileName, const std::string& ownPrefix)
{
    const char* rest = fileName + ownPrefix.size();
    if (*rest == '\0')
        return true;
    return rest[0] == '.' && rest[1] != '\0' && strspn(rest + 1, "0123456789") == strlen(rest + 1);
}

} // namespace

void InitMMBStorage::tidy(int keep)
{
    setCorePattern();
    clearStrayCores();
    pruneRecords(keep);
}

void InitMMBStorage::setCorePattern()
{
    writeSetting("/proc/sys/kernel/core_pattern", CORE_PATTERN);
    writeSetting("/proc/sys/kernel/core_uses_pid", "0");
}

void InitMMBStorage::clearStrayCores()
{
    char coreDir[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(CORE_DIR, coreDir);
    returnHeldCores(coreDir);  // a save cut short held them
    for (const char* prefix : {"core.", "core_work"}) {
        for (const Entry& file : filesOf(coreDir, prefix)) {
            trace()->outputf(20002, 0, "stray core removed(%s)", file.name.c_str());
            removeFile(std::string(coreDir) + "/" + file.name);
        }
    }
}

timespec InitMMBStorage::startOnRealClock(const timespec& now, const timespec& sinceBoot,
                                          unsigned long long startTicks, long ticksPerSecond)
{
    constexpr long long NANOSECONDS = 1000000000LL;
    long long bootNs = (static_cast<long long>(now.tv_sec) - sinceBoot.tv_sec) * NANOSECONDS +
                       (now.tv_nsec - sinceBoot.tv_nsec);
    long long startNs = bootNs + static_cast<long long>(startTicks / ticksPerSecond) * NANOSECONDS +
                        static_cast<long long>(startTicks % ticksPerSecond) * NANOSECONDS / ticksPerSecond;
    timespec start;
    start.tv_sec = static_cast<time_t>(startNs / NANOSECONDS);
    start.tv_nsec = static_cast<long>(startNs % NANOSECONDS);
    return start;
}

void InitMMBStorage::pruneRecords(int keep)
{
    size_t kept = keep > 0 ? static_cast<size_t>(keep) : 0;
    timespec thisStart = processStart();
    char errorLogDir[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(ERROR_LOG_DIR, errorLogDir);
    prune(errorLogDir, "", kept, thisStart);
    prune(SAVE_DIR, "init_downinfo.", kept, thisStart);
    prune(SAVE_DIR, "bt.", kept, thisStart);
    char traceDir[InitMMBFile::PATH_SIZE];
    InitMMBFile::makePath(InitMMBHistory::TRACE_FOLDER, traceDir);
    prune(traceDir, InitMMBHistory::TRACE_PREFIX, KEPT_TRACES, thisStart);
}

void InitMMBStorage::holdOtherCores(const char* coreDir, const char* module)
{
    const std::string ownPrefix = std::string("core.") + module;
    const std::string folder = coreDir;
    const std::string hold = folder + "/" + HOLD_DIR;
    bool newestOwnSeen = false;
    for (const Entry& file : filesOf(folder, ownPrefix)) {
        std::string path = folder + "/" + file.name;
        if (!isOwnCore(file.name.c_str(), ownPrefix)) {
            mkdir(hold.c_str(), 0700);
            if (rename(path.c_str(), (hold + "/" + file.name).c_str()) != 0)
                trace()->outputf(20011, 0, "rename(%s) failed errno=%d", path.c_str(), errno);
        } else if (newestOwnSeen) {
            removeFile(path);
        }
        newestOwnSeen = newestOwnSeen || isOwnCore(file.name.c_str(), ownPrefix);
    }
}

void InitMMBStorage::returnHeldCores(const char* coreDir)
{
    const std::string folder = coreDir;
    const std::string hold = folder + "/" + HOLD_DIR;
    for (const Entry& file : filesOf(hold, "")) {
        std::string held = hold + "/" + file.name;
        // A core the kernel wrote meanwhile under that name is newer: it stays.
        if (link(held.c_str(), (folder + "/" + file.name).c_str()) != 0 && errno != EEXIST)
            trace()->outputf(20011, 0, "link(%s) failed errno=%d", held.c_str(), errno);
        removeFile(held);
    }
    rmdir(hold.c_str());
}
