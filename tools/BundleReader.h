// A support bundle (the tar archive mmb-collect writes) read as the board's
// tree it holds: every member is read into bounded memory, nothing is
// written to disk, and an archive with a broken member, a member leaving
// its root, a link, an oversized member or too many members is refused as
// a whole.
#ifndef BUNDLE_READER_H
#define BUNDLE_READER_H

#include "BoardTree.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class BundleReader {
public:
    static constexpr std::size_t MEMBER_MAX_SIZE = 4 * 1024 * 1024;
    static constexpr std::size_t MAX_MEMBERS = 20000;

    // True when the file at path begins with a tar header.
    static bool isBundle(const std::string& path);

    // False, with the reason, when the archive is refused.
    bool read(const std::string& path, std::string& problem);
    // Visits its files as BoardTree::walk visits a tree's, shown under root.
    void walk(const std::string& root, const BoardTree::Visit& visit) const;

private:
    bool addMember(const std::string& path, bool directory, std::size_t size, void* archive, std::string& problem);
    std::vector<std::string> entriesOf(const std::string& folder, bool everyFile) const;

    std::map<std::string, std::vector<uint8_t>> files_;  // in the board's folders, by path
    std::map<std::string, std::string> unread_;          // files kept out, and why
    std::set<std::string> paths_;                        // every member, folders as "a/b/"
    std::size_t kept_ = 0;                               // the bytes in files_
};

#endif
