// Fuzzes the process table reader. The input is the table file: reading it
// must end normally or with one thrown InitErrorLog*, and every record must
// hold a name that sits whole in its executable path. Each line of the input
// also goes through the line splitter alone: its fields joined by single
// spaces must give the line back.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "InitBuildProcess.h"
#include "InitErrorLog.h"
#include "InitMMBProcess.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* EXEC_DIR = "/opt/mmb/bin/";

std::string tablePath;

// The lines std::getline gives: a last line without its line feed counts.
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

void checkSplit(InitBuildProcess& reader, const std::string& line)
{
    std::vector<std::string*> fields;
    int result = reader.parceOneLine(line, fields);
    size_t count = fields.size();
    std::string joined;
    for (size_t i = 0; i < count; ++i) {
        joined += (i == 0 ? "" : " ") + *fields[i];
        delete fields[i];
    }
    bool skipped = line.empty() || line.compare(0, 2, "/*") == 0;
    bool end = !skipped && line.compare(0, 4, "#END") == 0;
    if (skipped || end) {
        fuzzCheck(result == (skipped ? 0 : -1) && count == 0, "skipped and end lines give no fields");
        return;
    }
    fuzzCheck(result > 0 && static_cast<size_t>(result) == count, "result is the field count");
    fuzzCheck(count == static_cast<size_t>(std::count(line.begin(), line.end(), ' ')) + 1, "every space splits");
    fuzzCheck(joined == line, "fields joined by spaces give the line back");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (fuzzScratchFolder().empty())
        return 1;
    tablePath = fuzzScratchFolder() + "/pro_file.ctl";
    return unsetenv("MMB_DEBUG_PATH");  // the directory as given, no prefix
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzCheck(writeFuzzInput(tablePath, data, size), "table written");
    std::vector<std::string> lines = linesOf(std::string(reinterpret_cast<const char*>(data), size));

    std::vector<InitMMBProcess*> processes;
    InitBuildProcess reader(tablePath.c_str(), EXEC_DIR, processes);
    try {
        reader.create();
    } catch (InitErrorLog* record) {
        delete record;
    }
    fuzzCheck(processes.size() <= lines.size(), "at most one record per line");
    for (InitMMBProcess* process : processes) {
        fuzzCheck(process->name[0] != '\0', "a record has a name");
        fuzzCheck(EXEC_DIR + std::string(process->name) == process->execPath, "the path is the directory and the name");
        delete process;
    }

    for (const std::string& line : lines)
        checkSplit(reader, line);
    return 0;
}
