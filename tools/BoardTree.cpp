#include "BoardTree.h"

#include "BoardFileName.h"
#include "InputFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* TOP_FOLDERS[] = {"dev", "var", "tmp", "mnt", "etc"};

} // namespace

bool BoardTree::isTree(const std::vector<std::string>& entries)
{
    for (const std::string& entry : entries)
        for (const char* top : TOP_FOLDERS)
            if (entry == top)
                return true;
    return false;
}

void BoardTree::walk(const Visit& visit)
{
    for (const BoardFolder& folder : boardFolders()) {
        int fd = openFolder(folder.path, visit);
        if (fd < 0)
            continue;
        readFolder(fd, folder.path, folder.everyFile, visit);
        close(fd);
    }
}

// Opens the folder one name at a time, never through a link; -1 when it is
// absent or refused.
int BoardTree::openFolder(const std::string& folder, const Visit& visit)
{
    int fd = dup(rootFd_);
    for (std::size_t start = 0, end; fd >= 0 && (end = folder.find('/', start)) != std::string::npos;
         start = end + 1) {
        std::string path = folder.substr(0, end);
        InputFile input;
        std::string problem;
        bool opened = openFolderAt(fd, folder.substr(start, end - start), input, problem);
        close(fd);
        fd = input.fd;
        if (opened)
            continue;
        if (!input.missing && refused_.insert(path).second)
            visit(unreadableFile(root_ + "/" + path, path, problem, FormChoice()));
    }
    return fd;
}

void BoardTree::readFolder(int fd, const std::string& folder, bool everyFile, const Visit& visit)
{
    FormChoice choice;
    choice.inTree = true;
    choice.folder = folder;
    choice.skipUnknown = true;
    std::vector<std::string> names = boardFileNames(folder);
    if (everyFile) {
        InputFile listing;
        std::string problem;
        if (!readInputAt(fd, ".", listing, problem)) {
            visit(unreadableFile(root_ + "/" + folder, folder, problem, FormChoice()));
            closeInput(listing);
            return;
        }
        names = listing.entries;
        closeInput(listing);
    }
    for (const std::string& name : names) {
        BoardItem item;
        if (readItem(fd, root_ + "/" + folder + name, name, choice, item))
            visit(item);
    }
}

bool BoardTree::readItem(int folderFd, const std::string& source, const std::string& name, const FormChoice& choice,
                         BoardItem& item)
{
    InputFile input;
    std::string problem;
    if (readInputAt(folderFd, name, input, problem) && input.directory)
        item = unreadableFile(source, name, "a directory", choice);
    else if (problem.empty())
        item = identifyFile(source, name, std::move(input.bytes), choice);
    else
        item = unreadableFile(source, name, problem, choice);
    closeInput(input);
    return !input.missing;
}
