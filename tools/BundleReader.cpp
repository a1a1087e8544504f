#include "BundleReader.h"

#include "BoardFileName.h"
#include "InputFile.h"
#include "RecordForm.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef MMB_WITH_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace {

constexpr std::size_t TAR_BLOCK = 512;
constexpr std::size_t TAR_MAGIC = 257;

} // namespace

bool BundleReader::isBundle(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    char header[TAR_BLOCK] = {};
    bool tar = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
               pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
               std::memcmp(header + TAR_MAGIC, "ustar", 5) == 0;
    close(fd);
    return tar;
}

void BundleReader::walk(const std::string& root, const BoardTree::Visit& visit) const
{
    for (const BoardFolder& folder : boardFolders()) {
        FormChoice choice;
        choice.inTree = true;
        choice.folder = folder.path;
        choice.skipUnknown = true;
        for (const std::string& name : entriesOf(folder.path, folder.everyFile)) {
            std::string path = folder.path + name;
            std::string source = root + "/" + path;
            auto unread = unread_.find(path);
            auto file = files_.find(path);
            if (unread != unread_.end())
                visit(unreadableFile(source, name, unread->second, choice));
            else if (file != files_.end() && paths_.count(path + "/") == 0)
                visit(identifyFile(source, name, file->second, choice));
            else  // a folder, with or without a member of its own
                visit(unreadableFile(source, name, "a directory", choice));
        }
    }
}

// The names in folder, as a tree's folder lists them.
std::vector<std::string> BundleReader::entriesOf(const std::string& folder, bool everyFile) const
{
    std::vector<std::string> names;
    for (auto path = paths_.lower_bound(folder); path != paths_.end() && path->compare(0, folder.size(), folder) == 0;
         ++path) {
        std::string name = path->substr(folder.size(), path->find('/', folder.size()) - folder.size());
        if (!name.empty() && (names.empty() || names.back() != name))
            names.push_back(name);
    }
    if (everyFile) {
        std::sort(names.begin(), names.end(), fileNameBefore);
        return names;
    }
    std::vector<std::string> fixed;
    for (const std::string& name : boardFileNames(folder))
        if (std::find(names.begin(), names.end(), name) != names.end())
            fixed.push_back(name);
    return fixed;
}

#ifdef MMB_WITH_LIBARCHIVE

namespace {

constexpr std::size_t KEPT_MAX_SIZE = 64 * 1024 * 1024;  // the bytes of the files read, in all

// The board folder a member lies in directly, or nullptr.
const BoardFolder* folderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/', path.size() - 2);
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    for (const BoardFolder& boardFolder : boardFolders())
        if (folder == boardFolder.path)
            return &boardFolder;
    return nullptr;
}

bool leavesRoot(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return true;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find('/', start), path.size());
        if (path.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::string member(const std::string& path)
{
    return "member '" + path + "'";
}

} // namespace

bool BundleReader::read(const std::string& path, std::string& problem)
{
    archive* reader = archive_read_new();
    archive_read_support_format_tar(reader);
    bool read = archive_read_open_filename(reader, path.c_str(), 16 * 1024) == ARCHIVE_OK;
    std::size_t members = 0;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while (read && (status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK) {
        if (++members > MAX_MEMBERS) {
            problem = "more than " + std::to_string(MAX_MEMBERS) + " members";
            break;
        }
        const char* name = archive_entry_pathname(entry);
        mode_t type = archive_entry_filetype(entry);
        std::string memberPath = name == nullptr ? "" : name;
        if (leavesRoot(memberPath))
            problem = member(memberPath) + ": a path leaving the archive's root";
        else if (archive_entry_hardlink(entry) != nullptr || type == AE_IFLNK)
            problem = member(memberPath) + ": a link, not followed";
        else if (type != AE_IFREG && type != AE_IFDIR)
            problem = member(memberPath) + ": neither a file nor a folder";
        else if (!addMember(memberPath, type == AE_IFDIR, static_cast<std::size_t>(archive_entry_size(entry)),
                            reader, problem) &&
                 problem.empty())
            problem = "broken archive at member " + std::to_string(members) + ": " + archive_error_string(reader);
        if (!problem.empty())
            break;
    }
    if (problem.empty() && status != ARCHIVE_EOF)
        problem = "broken archive at member " + std::to_string(members + 1) + ": " +
                  (archive_error_string(reader) != nullptr ? archive_error_string(reader) : "unreadable");
    archive_read_free(reader);
    return problem.empty();
}

// Reads a member's bytes when it lies in a board folder and may be
// decoded; false, with a problem or archive's error, when it cannot be.
bool BundleReader::addMember(const std::string& path, bool directory, std::size_t size, void* archive,
                             std::string& problem)
{
    auto* reader = static_cast<struct archive*>(archive);
    if (size > MEMBER_MAX_SIZE) {
        problem = member(path) + ": " + std::to_string(size) + " bytes, more than " + std::to_string(MEMBER_MAX_SIZE);
        return false;
    }
    std::string key = directory && path.back() != '/' ? path + "/" : path;
    paths_.insert(key);
    if (directory || folderOf(key) == nullptr)
        return archive_read_data_skip(reader) == ARCHIVE_OK;
    if (size > INPUT_MAX_SIZE) {
        unread_[key] = "more than " + std::to_string(INPUT_MAX_SIZE) + " bytes: larger than any form";
        return archive_read_data_skip(reader) == ARCHIVE_OK;
    }
    if (kept_ + size > KEPT_MAX_SIZE) {
        problem = "more than " + std::to_string(KEPT_MAX_SIZE) + " bytes of files to decode";
        return false;
    }
    kept_ += size;
    std::vector<uint8_t>& bytes = files_[key];
    bytes.resize(size);
    return archive_read_data(reader, bytes.data(), size) == static_cast<la_ssize_t>(size);
}

#else

bool BundleReader::read(const std::string&, std::string& problem)
{
    problem = "a bundle: this mmb-decode was built without libarchive; read it on a host";
    return false;
}
#endif
