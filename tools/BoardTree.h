// A board's tree as a folder holds it (collected from a board, or the
// board's own root): one walk over the board's folders, yielding each file
// told and decoded, in the order of the folders, timed files oldest first.
#ifndef BOARD_TREE_H
#define BOARD_TREE_H

#include "BoardItem.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

class BoardTree {
public:
    using Visit = std::function<void(const BoardItem&)>;

    // True when a folder with these entries is a board's tree: it holds
    // one of the board's top folders (dev, var, tmp, mnt, etc).
    static bool isTree(const std::vector<std::string>& entries);

    // root is shown in front of every path; rootFd is the tree's folder, open.
    BoardTree(std::string root, int rootFd) : root_(std::move(root)), rootFd_(rootFd) {}

    // Visits every file the board keeps in its folders; in a folder of
    // records, a file of no known form comes as skipped.
    void walk(const Visit& visit);

    // Reads, tells and decodes the entry name of the folder open as
    // folderFd, shown as source; false when nothing lies there.
    static bool readItem(int folderFd, const std::string& source, const std::string& name, const FormChoice& choice,
                         BoardItem& item);

private:
    int openFolder(const std::string& folder, const Visit& visit);
    void readFolder(int fd, const std::string& folder, bool everyFile, const Visit& visit);

    std::string root_;
    int rootFd_;
    std::set<std::string> refused_;  // folders already reported, named once
};

#endif
