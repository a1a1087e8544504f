#include "BundleCollector.h"

#include "BoardFileName.h"
#include "BoardRegisters.h"
#include "CpldAccess.h"
#include "InputFile.h"
#include "RecordForm.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

constexpr const char* LOG_FOLDER = "var/mmb/log/";  // the history and kept traces: all of it
constexpr int LOG_DEPTH = 3;
constexpr int PARTITIONS = 4;
constexpr const char* RUNNING_LINK = "/mnt/mmb";
constexpr const char* NVRAM_NOT_RUN =
    "not run: every run judges the boot cause and may write the board (a CPLD flag, markers, a damaged "
    "partition 0); dev/mram0 holds what \"nvram -d\" prints (mmb-decode shows it)";
constexpr int READ_FLAGS = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

std::string failure(const char* call)
{
    return std::string("cannot ") + call + ": " + std::strerror(errno);
}

bool inLogFolder(const std::string& folder)
{
    return folder.compare(0, std::strlen(LOG_FOLDER), LOG_FOLDER) == 0;
}

const char* kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "of an unknown type";
}

// Reading leaves the access time as it was (root may ask so of any file).
int openUntouched(int folderFd, const std::string& name)
{
    int fd = openat(folderFd, name.c_str(), READ_FLAGS | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = openat(folderFd, name.c_str(), READ_FLAGS);
    return fd;
}

std::string utcTime(time_t seconds)
{
    tm parts = {};
    char text[32] = {};
    gmtime_r(&seconds, &parts);
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string boardNumber()
{
    uint16_t value = 0;
    if (!readCpldRegister(reg::MMB_NUMBER, value))
        return std::string("unknown: ") + failure("read the MMB number register of /dev/cpld");
    return "MMB " + std::to_string((value >> reg::MMB_NUMBER_SHIFT) & 1);
}

std::string systemName()
{
    utsname names = {};
    if (uname(&names) != 0)
        return "unknown";
    return std::string(names.sysname) + " " + names.release + " " + names.version + " " + names.machine;
}

std::string runningPartition()
{
    char target[PATH_MAX] = {};
    ssize_t length = readlink(RUNNING_LINK, target, sizeof target - 1);
    if (length < 0)
        return std::string(RUNNING_LINK) + ": " + (errno == EINVAL ? "not a symbolic link" : std::strerror(errno));
    return std::string(RUNNING_LINK) + " -> " + std::string(target, static_cast<std::size_t>(length));
}

} // namespace

bool BundleCollector::collect()
{
    collectPartitions();
    int rootFd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::pair<std::string, int>> folders = {{LOG_FOLDER, LOG_DEPTH}};
    for (const BoardFolder& folder : boardFolders())
        if (folder.everyFile && !inLogFolder(folder.path))
            folders.push_back({folder.path, 0});
    for (const auto& [path, depth] : folders) {
        int fd = openBoardFolder(rootFd, path);
        if (fd < 0)
            continue;
        collectFolder(fd, path, depth);
        close(fd);
    }
    for (const char* fsFolder : {"mnt/fs0/opt/mmb/", "mnt/fs1/opt/mmb/"}) {
        int fd = openBoardFolder(rootFd, fsFolder);
        if (fd < 0)
            continue;
        for (const std::string& name : boardFileNames(fsFolder))
            collectEntry(fd, fsFolder, name, 0);
        close(fd);
    }
    close(rootFd);
    std::string text;
    for (const std::string& line : manifest())
        text += line + "\n";
    addFile(MANIFEST, std::vector<uint8_t>(text.begin(), text.end()), static_cast<uint32_t>(time(nullptr)));
    return written_ && writer_.finish();
}

// Opens the board folder path ("var/mmb/fmem/") one name at a time, never
// through a link; -1, named in the manifest, when it cannot be.
int BundleCollector::openBoardFolder(int rootFd, const std::string& path)
{
    int fd = dup(rootFd);
    for (std::size_t start = 0, end; fd >= 0 && (end = path.find('/', start)) != std::string::npos; start = end + 1) {
        InputFile folder;
        std::string problem;
        bool opened = openFolderAt(fd, path.substr(start, end - start), folder, problem);
        close(fd);
        fd = folder.fd;
        if (!opened) {
            note(path.substr(0, end + 1), folder.missing ? "missing" : problem);
            closeInput(folder);
            return -1;
        }
    }
    return fd;
}

// Through the devices, by their absolute names (where a board's driver
// or the simulator's device shim serves them).
void BundleCollector::collectPartitions()
{
    for (int partition = 0; partition < PARTITIONS; ++partition) {
        std::string boardPath = "dev/mram" + std::to_string(partition);
        int fd = open(("/" + boardPath).c_str(), READ_FLAGS);
        if (fd < 0) {
            note(boardPath, failure("open"));
            continue;
        }
        std::vector<uint8_t> bytes;
        std::string problem;
        if (!readUpTo(fd, INPUT_MAX_SIZE + 1, bytes, problem))
            note(boardPath, problem);
        else if (bytes.size() > INPUT_MAX_SIZE)
            note(boardPath, "more than " + std::to_string(INPUT_MAX_SIZE) + " bytes: larger than any partition");
        else
            addFile(boardPath, bytes, static_cast<uint32_t>(time(nullptr)));
        close(fd);
    }
}

// Directory path opened as fd: its files, and its folders as members
// of their own, entered while depth lasts.
void BundleCollector::collectFolder(int fd, const std::string& boardPath, int depth)
{
    written_ = writer_.add(boardPath, UstarWriter::Type::Directory, {}, 0) && written_;
    DIR* listing = fdopendir(dup(fd));
    if (listing == nullptr) {
        note(boardPath, failure("list the folder"));
        return;
    }
    std::vector<std::string> names;
    errno = 0;
    // cppcheck-suppress readdirCalled
    while (const dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        if (names.size() > FOLDER_MAX_ENTRIES)
            break;
    }
    if (errno != 0)
        note(boardPath, failure("list the folder"));
    closedir(listing);
    if (names.size() > FOLDER_MAX_ENTRIES) {
        note(boardPath, "more than " + std::to_string(FOLDER_MAX_ENTRIES) + " entries: only the first taken");
        names.pop_back();
    }
    for (const std::string& name : names)
        collectEntry(fd, boardPath, name, depth);
}

void BundleCollector::collectEntry(int folderFd, const std::string& boardPath, const std::string& name, int depth)
{
    std::string path = boardPath + name;
    struct stat status;
    if (fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        note(path, errno == ENOENT ? "missing" : failure("stat"));
    } else if (S_ISREG(status.st_mode)) {
        collectFile(folderFd, boardPath, name, status);
    } else if (S_ISLNK(status.st_mode)) {
        char target[PATH_MAX] = {};
        ssize_t length = readlinkat(folderFd, name.c_str(), target, sizeof target - 1);
        note(path, "a symbolic link to " + std::string(target, static_cast<std::size_t>(length < 0 ? 0 : length)) +
                       ", not followed");
    } else if (S_ISDIR(status.st_mode) && depth == 0) {
        written_ = writer_.add(path + "/", UstarWriter::Type::Directory, {}, 0) && written_;
    } else if (S_ISDIR(status.st_mode)) {
        InputFile folder;
        std::string problem;
        if (openFolderAt(folderFd, name, folder, problem))
            collectFolder(folder.fd, path + "/", depth - 1);
        else
            note(path, problem);
        closeInput(folder);
    } else {
        note(path, std::string(kindOf(status.st_mode)) + ", not opened");
    }
}

void BundleCollector::collectFile(int folderFd, const std::string& boardPath, const std::string& name,
                                  const struct stat& status)
{
    std::string path = boardPath + name;
    std::size_t size = static_cast<std::size_t>(status.st_size);
    if (status.st_dev == ownDevice_ && status.st_ino == ownInode_)
        return;
    if (size > FILE_MAX_SIZE)
        return note(path, std::to_string(size) + " bytes: more than " + std::to_string(FILE_MAX_SIZE) + ", not taken");
    if (taken_ + size > BUNDLE_MAX_SIZE)
        return note(path, "the bundle holds its " + std::to_string(BUNDLE_MAX_SIZE) + " bytes already");
    int fd = openUntouched(folderFd, name);
    struct stat opened;
    if (fd < 0 || fstat(fd, &opened) != 0 || opened.st_ino != status.st_ino || !S_ISREG(opened.st_mode)) {
        note(path, fd < 0 ? failure("open") : "replaced while collected, not taken");
    } else {
        std::vector<uint8_t> bytes;
        std::string problem;
        if (readUpTo(fd, size, bytes, problem))
            addFile(path, bytes, static_cast<uint32_t>(status.st_mtime));
        else
            note(path, problem);
    }
    if (fd >= 0)
        close(fd);
}

void BundleCollector::addFile(const std::string& boardPath, const std::vector<uint8_t>& bytes, uint32_t mtime)
{
    if (!UstarWriter::fits(boardPath))
        return note(boardPath, "a path too long for the archive, not taken");
    taken_ += bytes.size();
    written_ = writer_.add(boardPath, UstarWriter::Type::File, bytes, mtime) && written_;
}

std::vector<std::string> BundleCollector::manifest() const
{
    time_t now = time(nullptr);
    std::vector<std::string> lines = {
        std::string("mmb-collect ") + MMB_VERSION,
        "time = " + utcTime(now) + " UTC (" + std::to_string(static_cast<long long>(now)) + ")",
        "board = " + boardNumber(),
        "system = " + systemName(),
        "running partition = " + runningPartition(),
        std::string("nvram = ") + NVRAM_NOT_RUN,
    };
    for (const std::string& problem : notes_)
        lines.push_back("not taken: " + problem);
    return lines;
}

void BundleCollector::note(const std::string& boardPath, const std::string& problem)
{
    notes_.push_back(boardPath + ": " + problem);
}
