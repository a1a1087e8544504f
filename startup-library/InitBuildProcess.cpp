#include "InitBuildProcess.h"

#include "InitErrorLog.h"
#include "InitMMBFile.h"
#include "InitMMBFirm.h"
#include "InitMMBProcess.h"
#include "InitTraceHandler.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned char TABLE_REPORTER = 28;  // code bytes of a rejected table line
constexpr unsigned char LINE_REJECTED = 4;
constexpr size_t FIELDS_READ = 4;             // name, down-operation, priority, key
constexpr size_t PROCESS_LINE_FIELDS = 6;     // fields 5 and 6 must be there, unread
constexpr size_t START_WAIT_FIELD = 9;

constexpr const char* MODULE_NAME_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._+-";

constexpr const char* COUNT_READER = "InitBuildProcess";
constexpr const char* LINE_READER = "initBuildProcess";

[[noreturn]] void reject(const char* reader, const char* reason)
{
    InitTraceHandler::getInstance()->output(20010, 0, reader, reason);
    throw new InitErrorLog(1, InitMMBFirm::getInstance()->mmbId, TABLE_REPORTER, LINE_REJECTED, 0, 0, 0, 0);
}

// Base-10 strtol as on the 32-bit board: leading blanks, a sign, digits up to
// the first other character; no digits give 0. A value beyond 32 bits is
// clamped and reported out of range on a 64-bit host too. False only when
// this conversion reports an error, whatever errno held before.
bool convertDecimal(const std::string& field, int32_t& value)
{
    errno = 0;
    long converted = strtol(field.c_str(), nullptr, 10);
    bool reported = errno == ERANGE || errno == EINVAL;  // GCOVR_EXCL_BR_LINE: glibc reports EINVAL only for a bad base
    value = static_cast<int32_t>(std::clamp<long>(converted, INT32_MIN, INT32_MAX));
    return !reported && converted == value;
}

} // namespace

InitBuildProcess::InitBuildProcess(const char* file, const char* directory, std::vector<InitMMBProcess*>& processes)
    : InitBuildResource(file, ' '), procList(processes)
{
    InitMMBFile::makePath(directory, execDir);
}

int InitBuildProcess::checkComment(const std::string& line)
{
    // GCOVR_EXCL_BR_START: a line read never holds its line feed
    return line.empty() || line.compare(0, 2, "/*") == 0 || line[0] == '\n' ? 1 : 0;
    // GCOVR_EXCL_BR_STOP
}

int InitBuildProcess::checkFileEnd(const std::string& line)
{
    return line.compare(0, 4, "#END") == 0 ? 1 : 0;
}

void InitBuildProcess::generateParam(std::vector<std::string*>& fields)
{
    size_t count = fields.size();
    if (processCount == 0 && count == 1) {
        readProcessCount(*fields[0]);
        return;
    }
    // Before the count line a longer line is a process line at once, as
    // long as it holds the fields that are read.
    if (count < (processCount != 0 ? PROCESS_LINE_FIELDS : FIELDS_READ))
        reject(LINE_READER, "(the num. of Fields is too few)");
    readModuleName(*fields[0]);
    if (!convertDecimal(*fields[1], downOperation))
        reject(LINE_READER, "(Specified down-operation is invaid)");
    if (!convertDecimal(*fields[2], priority))
        reject(LINE_READER, "(Specified priority is invaid)");
    int32_t key = 0;
    if (!convertDecimal(*fields[3], key))
        reject(LINE_READER, "(Specified process key is invaid)");
    processKey = static_cast<uint32_t>(key);
    if (count >= START_WAIT_FIELD)
        convertDecimal(*fields[START_WAIT_FIELD - 1], waitSignal);  // any value is taken
}

void InitBuildProcess::readProcessCount(const std::string& field)
{
    int32_t value = 0;
    if (!convertDecimal(field, value) || value == 0)
        reject(COUNT_READER, "specified process count is invalid");
    processCount = value;
    moduleName[0] = '\0';
}

// The name must fit the executable path beside execDir, or the record would
// hold no name and silently never start. It is a file name in execDir and
// reaches the shell inside words of the core file commands, so it holds only
// letters, digits and "._+-": no "/", nothing the shell reads inside a word,
// and no blank that would split the word.
void InitBuildProcess::readModuleName(const std::string& field)
{
    if (strlen(execDir) + field.size() >= sizeof moduleName)
        reject(LINE_READER, "(Length of specified module name is too long)");
    if (field.find_first_not_of(MODULE_NAME_CHARACTERS) != std::string::npos)
        reject(LINE_READER, "(Specified module name is invalid)");
    snprintf(moduleName, sizeof moduleName, "%s", field.c_str());
}

void InitBuildProcess::createOneItem()
{
    if (moduleName[0] == '\0')
        return;
    std::unique_ptr<InitMMBProcess> process(new InitMMBProcess(execDir));
    process->initialize(moduleName, downOperation, priority, processKey, waitSignal);
    procList.push_back(nullptr);  // the slot first: handing the record over cannot throw
    procList.back() = process.release();
}
