#include "RecordForm.h"

#include <cstring>

namespace {

struct FormFacts {
    RecordForm form;
    const char* name;
    const char* title;
    std::size_t minSize;
    std::size_t maxSize;
};

constexpr FormFacts FORMS[] = {
    {RecordForm::ErrorLog, "error-log", "error log record", ERROR_LOG_SIZE, ERROR_LOG_SIZE},
    {RecordForm::StartupRecord, "startup-record", "start-up record", STARTUP_RECORD_SIZE, STARTUP_RECORD_SIZE},
    {RecordForm::DownInfo, "down-info", "down-info file", DOWN_INFO_SIZE, DOWN_INFO_SIZE},
    {RecordForm::Partition, "partition", "NVRAM partition 0", PARTITION_MIN_SIZE, INPUT_MAX_SIZE},
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
    if (size == ERROR_LOG_SIZE)
        form = RecordForm::ErrorLog;
    else if (size == STARTUP_RECORD_SIZE)
        form = RecordForm::StartupRecord;
    else if (size == DOWN_INFO_SIZE && startsDownInfo(data))
        form = RecordForm::DownInfo;
    else if (size >= PARTITION_MIN_SIZE && size <= INPUT_MAX_SIZE)
        form = RecordForm::Partition;
    else
        return false;
    return true;
}

std::string sizeProblem(RecordForm form, std::size_t size)
{
    const FormFacts& facts = factsOf(form);
    if (size >= facts.minSize && size <= facts.maxSize)
        return "";
    return std::string("wrong size for ") + facts.title + ": " + std::to_string(size) + " bytes (expected " +
           sizesOf(facts) + ")";
}

std::string unknownForm(std::size_t size)
{
    std::string known;
    for (const FormFacts& facts : FORMS)
        known += std::string(known.empty() ? "" : ", ") + facts.name + " " + sizesOf(facts);
    return std::to_string(size) + " bytes: not a known form (" + known + ")";
}
