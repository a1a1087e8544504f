// Fuzzes the reading of support bundles: the input is written as a file and
// read as the bundle mmb-collect writes. Whatever the bytes, the reader
// accepts the archive with no problem named or refuses it with one, and an
// accepted archive yields only files in the board's folders, each shown
// under the given root with no step out of it, decoded or with a reason.
#include "BoardFileName.h"
#include "BundleReader.h"
#include "FuzzCheck.h"
#include "FuzzScratch.h"

#include <cstdint>
#include <string>

namespace {

const char* const ROOT = "bundle";

bool underBoardFolder(const std::string& source)
{
    std::string prefix = std::string(ROOT) + "/";
    if (source.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string path = source.substr(prefix.size());
    for (const BoardFolder& folder : boardFolders()) {
        std::string folderPath = folder.path;
        bool inFolder = path.compare(0, folderPath.size(), folderPath) == 0;
        std::string name = inFolder ? path.substr(folderPath.size()) : "";
        if (inFolder && !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..")
            return true;
    }
    return false;
}

void checkItem(const BoardItem& item)
{
    fuzzCheck(underBoardFolder(item.source), "a file is shown in a board folder under the root");
    bool decoded = item.outcome == BoardItem::Outcome::Decoded;
    fuzzCheck(decoded == item.reason.empty(), "a file is decoded, or skipped or refused with a reason");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzScratchFolder() + "/bundle.tar";
    fuzzCheck(!fuzzScratchFolder().empty() && writeFuzzInput(path, data, size), "the input is written");
    BundleReader reader;
    std::string problem;
    bool accepted = reader.read(path, problem);
    fuzzCheck(accepted == problem.empty(), "an archive is accepted, or refused with a reason");
    if (accepted)
        reader.walk(ROOT, checkItem);
    return 0;
}
