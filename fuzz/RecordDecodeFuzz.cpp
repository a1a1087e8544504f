// Fuzzes the parsing of mmb-decode. The first byte picks the form the rest
// is read as and the folder of a board's tree it lies in; the second the
// length of the file name that follows it; the content after the name is
// cut or zero-padded to a size that form takes. The name and content as
// they stand also go through the telling of the form, alone and in the
// tree. Whatever the bytes, a decoder reads only its input (the sanitizers
// watch the exact-size buffer), a told form accepts the content, the JSON
// is one object on one line and both outputs are printable ASCII.
#include "BoardFileName.h"
#include "BoardItem.h"
#include "FuzzCheck.h"
#include "RecordDecoder.h"
#include "RecordPrinter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr RecordForm FORMS[] = {RecordForm::Partition,  RecordForm::Partition1,    RecordForm::Partition2,
                                RecordForm::Partition3, RecordForm::ErrorLog,      RecordForm::StartupRecord,
                                RecordForm::DownInfo,   RecordForm::Backtrace,     RecordForm::RevisionFile,
                                RecordForm::Marker};

std::size_t sizeFor(RecordForm form, std::size_t size)
{
    switch (form) {
    case RecordForm::ErrorLog:
        return ERROR_LOG_SIZE;
    case RecordForm::StartupRecord:
        return STARTUP_RECORD_SIZE;
    case RecordForm::DownInfo:
        return DOWN_INFO_SIZE;
    case RecordForm::Partition:
        return std::clamp(size, PARTITION_MIN_SIZE, INPUT_MAX_SIZE);
    case RecordForm::Partition1:
    case RecordForm::Partition2:
        return std::clamp<std::size_t>(size, 1, INPUT_MAX_SIZE);
    case RecordForm::Partition3:
        return std::clamp<std::size_t>(size, nvram::NOR_WORDS_SIZE, INPUT_MAX_SIZE);
    default:
        break;
    }
    return std::min(size, INPUT_MAX_SIZE);
}

bool printable(const std::string& text, bool lineFeeds)
{
    return std::all_of(text.begin(), text.end(),
                       [lineFeeds](char c) { return (c >= 0x20 && c < 0x7F) || (lineFeeds && c == '\n'); });
}

void checkPrinted(RecordForm form, const DecodedRecord& record)
{
    std::string json = recordJson("fuzz", form, record);
    fuzzCheck(json.size() > 2 && json.front() == '{' && json.substr(json.size() - 2) == "}\n",
              "JSON is one object and a line feed");
    fuzzCheck(printable(json.substr(0, json.size() - 1), false), "JSON is one line of printable ASCII");
    fuzzCheck(printable(recordText("fuzz", form, record), true), "text is printable ASCII lines");
}

void decodeAndPrint(RecordForm form, const std::string& name, const std::vector<uint8_t>& bytes)
{
    fuzzCheck(formProblem(form, bytes.data(), bytes.size(), false).empty(), "the form takes the size");
    checkPrinted(form, decodeRecord(form, name, bytes.data(), bytes.size()));
}

void tell(const std::string& name, const std::vector<uint8_t>& bytes, FormChoice choice)
{
    BoardItem item = identifyFile("fuzz", name, bytes, choice);
    if (item.outcome == BoardItem::Outcome::Decoded) {
        fuzzCheck(item.reason.empty(), "a decoded file has no reason against it");
        checkPrinted(item.form, item.record);
    } else {
        fuzzCheck(!item.reason.empty(), "a file skipped or refused says why");
        fuzzCheck(printable(skippedText("fuzz", item.reason), true), "a reason prints as ASCII");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    RecordForm chosen = FORMS[data[0] % (sizeof FORMS / sizeof FORMS[0])];
    const std::vector<BoardFolder>& folders = boardFolders();
    const BoardFolder& folder = folders[(data[0] >> 4) % folders.size()];
    std::size_t nameLength = std::min<std::size_t>(data[1] % 32, size - 2);
    std::string name(reinterpret_cast<const char*>(data + 2), nameLength);
    std::vector<uint8_t> rest(data + 2 + nameLength, data + size);
    std::vector<uint8_t> fitted(rest);
    fitted.resize(sizeFor(chosen, rest.size()));
    decodeAndPrint(chosen, name, fitted);

    if (rest.size() > INPUT_MAX_SIZE)
        return 0;
    FormChoice alone;
    tell(name, rest, alone);
    FormChoice inTree;
    inTree.inTree = true;
    inTree.folder = folder.path;
    inTree.skipUnknown = true;
    tell(name, rest, inTree);
    return 0;
}
