// An input named on the command line: a file's bytes (a device too), or the
// entries of a directory of error log records.
#ifndef INPUT_FILE_H
#define INPUT_FILE_H

#include <cstdint>
#include <string>
#include <vector>

struct InputFile {
    bool directory = false;
    std::vector<uint8_t> bytes;        // a file: at most INPUT_MAX_SIZE of them
    std::vector<std::string> entries;  // a directory: its entries, oldest record first
};

// False, with the reason ("cannot open: ...") in problem, when the input
// cannot be opened or read, or is larger than any form.
bool readInputFile(const std::string& path, InputFile& input, std::string& problem);

// Order of error log files, named "<seconds>.<milliseconds>": by that time,
// other names after them by name.
bool errorLogNameBefore(const std::string& left, const std::string& right);

#endif
