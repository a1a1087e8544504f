#include "DecodeRun.h"

#include "InputFile.h"
#include "RecordDecoder.h"
#include "RecordPrinter.h"

#include <cstdio>

void DecodeRun::decodePath(const std::string& path)
{
    InputFile input;
    std::string problem;
    if (!readInputFile(path, input, problem))
        report(path, problem);
    else if (input.directory)
        decodeDirectory(path, input.entries);
    else
        decodeFile(path, input.bytes);
}

// A directory holds error log records, one per file.
void DecodeRun::decodeDirectory(const std::string& path, const std::vector<std::string>& entries)
{
    if (options_.formGiven && options_.form != RecordForm::ErrorLog) {
        report(path, std::string("a directory holds error log records, not the form ") + formName(options_.form));
        return;
    }
    for (const std::string& entry : entries) {
        std::string file = path + (path.back() == '/' ? "" : "/") + entry;
        InputFile input;
        std::string problem;
        if (!readInputFile(file, input, problem))
            report(file, problem);
        else if (input.directory)
            report(file, "a directory inside a directory of error log records");
        else
            printRecord(file, RecordForm::ErrorLog, input.bytes);
    }
}

void DecodeRun::decodeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    RecordForm form = options_.form;
    if (!options_.formGiven && !detectForm(bytes.data(), bytes.size(), form))
        report(path, unknownForm(bytes.size()));
    else
        printRecord(path, form, bytes);
}

void DecodeRun::printRecord(const std::string& path, RecordForm form, const std::vector<uint8_t>& bytes)
{
    std::string problem = sizeProblem(form, bytes.size());
    if (!problem.empty()) {
        report(path, problem);
        return;
    }
    DecodedRecord record = decodeRecord(form, bytes.data(), bytes.size());
    if (options_.json) {
        fputs(recordJson(path, form, record).c_str(), stdout);
    } else {
        fputs(printedOne_ ? "\n" : "", stdout);
        fputs(recordText(path, form, record).c_str(), stdout);
    }
    printedOne_ = true;
}

void DecodeRun::report(const std::string& path, const std::string& problem)
{
    fflush(stdout);  // keeps the report after the records printed before it
    fprintf(stderr, "mmb-decode: %s: %s\n", path.c_str(), problem.c_str());
    decodedAll_ = false;
}
