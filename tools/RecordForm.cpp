#include "RecordForm.h"

#include <cstring>

namespace {

struct FormFacts {
    RecordForm form;
    const char* name;
    const char* title;
    std::size_t minSize;
    std::size_t maxSize;
    bool binary;  // text content cannot be this form
};

constexpr FormFacts FORMS[] = {
    {RecordForm::Partition, "partition", "NVRAM partition 0", PARTITION_MIN_SIZE, INPUT_MAX_SIZE, true},
    {RecordForm::Partition1, "partition-1", "NVRAM partition 1", 1, INPUT_MAX_SIZE, true},
    {RecordForm::Partition2, "partition-2", "NVRAM partition 2", 1, INPUT_MAX_SIZE, true},
    {RecordForm::Partition3, "partition-3", "NVRAM partition 3 (NOR NVRAM)", nvram::NOR_WORDS_SIZE, INPUT_MAX_SIZE,
     true},
    {RecordForm::ErrorLog, "error-log", "error log record", ERROR_LOG_SIZE, ERROR_LOG_SIZE, true},
    {RecordForm::StartupRecord, "startup-record", "start-up record", STARTUP_RECORD_SIZE, STARTUP_RECORD_SIZE, true},
    {RecordForm::DownInfo, "down-info", "down-info file", DOWN_INFO_SIZE, DOWN_INFO_SIZE, false},
    {RecordForm::Backtrace, "backtrace", "crash backtrace", 0, INPUT_MAX_SIZE, false},
    {RecordForm::RevisionFile, "revision-file", "firmware revision file", 0, INPUT_MAX_SIZE, false},
    {RecordForm::Marker, "marker", "marker file", 0, INPUT_MAX_SIZE, false},
    {RecordForm::History, "history", "board history", 0, InitMMBHistory::FILE_MAX_SIZE, true},
};

const FormFacts& factsOf(RecordForm form)
{
    for (const FormFacts& facts : FORMS)
        if (facts.form == form)
            return facts;
    return FORMS[0];
}

std::string sizesOf(const FormFacts& facts)
{
    if (facts.minSize == facts.maxSize)
        return std::to_string(facts.minSize);
    return std::to_string(facts.minSize) + " to " + std::to_string(facts.maxSize);
}

// The first line the process manager writes: "process(NAME:PID) down with status(HEX)".
constexpr char DOWN_INFO_START[] = "process(";

bool startsDownInfo(const uint8_t* data)
{
    return memcmp(data, DOWN_INFO_START, sizeof DOWN_INFO_START - 1) == 0;
}

// Half an identification block at least: a partition whose block is damaged
// still shows itself, one whose block is gone is told by its name only.
bool holdsIdentification(const uint8_t* data)
{
    const uint8_t* block = data + nvram::ID_OFFSET;
    return block[0] == nvram::ID_BYTE ||
           memcmp(block + nvram::ID_NAME_OFFSET, nvram::ID_NAME, sizeof nvram::ID_NAME) == 0;
}

// A history told by content: its first record whole and valid.
bool startsHistory(const uint8_t* data, std::size_t size)
{
    InitMMBHistory::Record record;
    return size >= InitMMBHistory::RECORD_SIZE && size <= InitMMBHistory::FILE_MAX_SIZE && record.unpack(data);
}

// Printable ASCII, tabs and line ends only.
bool isText(const uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        if ((data[i] < 0x20 || data[i] >= 0x7F) && data[i] != '\t' && data[i] != '\n' && data[i] != '\r')
            return false;
    return size > 0;
}

} // namespace

const char* formName(RecordForm form)
{
    return factsOf(form).name;
}

const char* formTitle(RecordForm form)
{
    return factsOf(form).title;
}

bool formFromName(const std::string& name, RecordForm& form)
{
    for (const FormFacts& facts : FORMS) {
        if (name == facts.name) {
            form = facts.form;
            return true;
        }
    }
    return false;
}

bool detectForm(const uint8_t* data, std::size_t size, RecordForm& form)
{
    if (size == DOWN_INFO_SIZE && startsDownInfo(data))
        form = RecordForm::DownInfo;  // its text may fill it
    else if (isText(data, size))
        return false;
    else if (startsHistory(data, size))
        form = RecordForm::History;
    else if (size == ERROR_LOG_SIZE)
        form = RecordForm::ErrorLog;
    else if (size == STARTUP_RECORD_SIZE)
        form = RecordForm::StartupRecord;
    else if (size >= PARTITION_MIN_SIZE && size <= INPUT_MAX_SIZE && holdsIdentification(data))
        form = RecordForm::Partition;
    else
        return false;
    return true;
}

std::string formProblem(RecordForm form, const uint8_t* data, std::size_t size, bool checkText)
{
    const FormFacts& facts = factsOf(form);
    if (size < facts.minSize || size > facts.maxSize)
        return std::string("wrong size for ") + facts.title + ": " + std::to_string(size) + " bytes (expected " +
               sizesOf(facts) + ")";
    if (checkText && facts.binary && isText(data, size))
        return std::string("text, not a ") + facts.title;
    return "";
}

std::string unknownForm(const uint8_t* data, std::size_t size)
{
    return std::to_string(size) + " bytes" + (isText(data, size) ? " of text" : "") +
           ": not a known form (by name: mram0 to mram3, SECONDS.MILLISECONDS, initlog, init_downinfo.SECONDS, "
           "bt.MODULE.SECONDS, version.dat, a marker, history; by content: history beginning with a valid record, "
           "error-log 16 bytes, startup-record 380, down-info 2048 beginning \"process(\", partition 506 to 65536 with "
           "its identification block)";
}
