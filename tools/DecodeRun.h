// One run of the decoder over the inputs named on its command line: decodes
// and prints each, reporting on standard error what cannot be decoded.
#ifndef DECODE_RUN_H
#define DECODE_RUN_H

#include "RecordForm.h"

#include <cstdint>
#include <string>
#include <vector>

class DecodeRun {
public:
    struct Options {
        bool json = false;       // one JSON object per record instead of text
        bool formGiven = false;  // every file is read as form, not told from its content
        RecordForm form = RecordForm::Partition;
    };

    explicit DecodeRun(const Options& options) : options_(options) {}

    // A file, a device, or a directory of error log records.
    void decodePath(const std::string& path);
    // True when every input was decoded.
    bool decodedAll() const { return decodedAll_; }

private:
    void decodeDirectory(const std::string& path, const std::vector<std::string>& entries);
    void decodeFile(const std::string& path, const std::vector<uint8_t>& bytes);
    void printRecord(const std::string& path, RecordForm form, const std::vector<uint8_t>& bytes);
    void report(const std::string& path, const std::string& problem);

    Options options_;
    bool decodedAll_ = true;
    bool printedOne_ = false;
};

#endif
