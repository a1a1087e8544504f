// Fuzzes the parsing of mmb-decode. The first byte picks the form the rest
// is read as, cut or zero-padded to a size that form takes; the rest as it
// stands also goes through the form detection. Whatever the bytes, a
// decoder reads only its input (the sanitizers watch the exact-size
// buffer), a detected form accepts the size, the JSON is one object on one
// line and both outputs are printable ASCII.
#include "FuzzCheck.h"
#include "RecordDecoder.h"
#include "RecordPrinter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr RecordForm FORMS[] = {RecordForm::Partition, RecordForm::ErrorLog, RecordForm::StartupRecord,
                                RecordForm::DownInfo};

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
        break;
    }
    return std::clamp(size, PARTITION_MIN_SIZE, INPUT_MAX_SIZE);
}

bool printable(const std::string& text, bool lineFeeds)
{
    return std::all_of(text.begin(), text.end(),
                       [lineFeeds](char c) { return (c >= 0x20 && c < 0x7F) || (lineFeeds && c == '\n'); });
}

void decodeAndPrint(RecordForm form, const std::vector<uint8_t>& bytes)
{
    fuzzCheck(sizeProblem(form, bytes.size()).empty(), "the form takes the size");
    DecodedRecord record = decodeRecord(form, bytes.data(), bytes.size());
    std::string json = recordJson("fuzz", form, record);
    fuzzCheck(json.size() > 2 && json.front() == '{' && json.substr(json.size() - 2) == "}\n",
              "JSON is one object and a line feed");
    fuzzCheck(printable(json.substr(0, json.size() - 1), false), "JSON is one line of printable ASCII");
    fuzzCheck(printable(recordText("fuzz", form, record), true), "text is printable ASCII lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    RecordForm chosen = FORMS[data[0] % (sizeof FORMS / sizeof FORMS[0])];
    std::vector<uint8_t> rest(data + 1, data + size);
    std::vector<uint8_t> fitted(rest);
    fitted.resize(sizeFor(chosen, rest.size()));
    decodeAndPrint(chosen, fitted);

    RecordForm detected = RecordForm::Partition;
    if (detectForm(rest.data(), rest.size(), detected))
        decodeAndPrint(detected, rest);
    return 0;
}
