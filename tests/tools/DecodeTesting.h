// Running the built mmb-decode and reading back what it printed.
#ifndef TEST_DECODE_TESTING_H
#define TEST_DECODE_TESTING_H

#include "Process.h"
#include "SimBoard.h"
#include "StoredBytes.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

ProcessResult runDecode(const std::vector<std::string>& args);

// One printed record: "source" and "form" from its first line, then each
// field's value by name, the down log's as "downLog.NAME". Not for down-info
// files, whose text runs over several lines.
using Fields = std::map<std::string, std::string>;
std::vector<Fields> printedRecords(const std::string& out);

// Writes the file, its folders too; returns its path.
std::string writeInput(const std::string& path, const Bytes& bytes);

// A board's tree as it would be collected from the board: its tmp, var,
// etc and mnt folders, its NVRAM partitions as dev/mram0..3 and its
// firmware file systems under mnt/fs0 and mnt/fs1. Returns the folder.
std::string boardTree(const sim::SimBoard& board);

// A daemon "alpha" that dies of signal 11 at 1593835530 twice within its
// restart rule, so that the board's supervision throws a reboot record:
// its error log record, down-info and backtrace files, its traces.
ProcessResult crashDaemon(const sim::SimBoard& board);

#endif
