// Decoding of the board's stored forms: bytes in, named fields out. Each
// function takes an input of a size that formProblem accepts for its form,
// reads nothing beyond it, and decodes any content.
#ifndef RECORD_DECODER_H
#define RECORD_DECODER_H

#include "DecodedRecord.h"
#include "RecordForm.h"

#include <cstddef>
#include <cstdint>
#include <string>

// fileName, the file's own name, gives the time of a down-info file or
// backtrace and the meaning of a marker.
DecodedRecord decodeRecord(RecordForm form, const std::string& fileName, const uint8_t* data, std::size_t size);

// NVRAM partition 0: header, counters, down log, log count, VLAN mode and
// whether the identification block is valid.
DecodedRecord decodePartition(const uint8_t* data, std::size_t size);
// NVRAM partitions 1 and 2: their size only.
DecodedRecord decodeUninterpreted(std::size_t size);
// NVRAM partition 3: the two big-endian words of its first four bytes.
DecodedRecord decodeNorNvram(const uint8_t* data, std::size_t size);
// A 16-byte error log record: its time in UTC, kind, unit, reporter and code bytes.
DecodedRecord decodeErrorLog(const uint8_t* data);
// The 380-byte start-up record ("/tmp/initlog").
DecodedRecord decodeStartupRecord(const uint8_t* data);
// A 2048-byte down-info file: its time (from its name), the dead process,
// its status and the text.
DecodedRecord decodeDownInfo(const std::string& fileName, const uint8_t* data);
// A backtrace "bt.MODULE.SECONDS": the module, its time and the text.
DecodedRecord decodeBacktrace(const std::string& fileName, const uint8_t* data, std::size_t size);
// A firmware file system's version.dat: the revision the board reads from it.
DecodedRecord decodeRevisionFile(const uint8_t* data, std::size_t size);
// The board history: one line per valid record, oldest first, each slot
// of a torn or damaged record as skipped.
DecodedRecord decodeHistory(const uint8_t* data, std::size_t size);
// A marker file: what it means; the HBL reboot count holds a count.
DecodedRecord decodeMarker(const std::string& fileName, const uint8_t* data, std::size_t size);

// The explanations the decoded records give, for other readers of the records.
std::string reporterOf(uint8_t firstCode);
std::string unitOf(uint8_t unitCode);
// "valid", "damaged" or "missing", of the 10-byte identification block.
std::string identificationOf(const uint8_t* block);
// The same with what it means for the partition.
std::string identificationText(const uint8_t* block);
// "exit code N" or "signal N[, core dumped]" of a wait status.
std::string statusOf(uint32_t status);
// A firmware-update mode: "none", "'F', firmware apply requested", "'R', recovery".
std::string firmUpModeOf(uint8_t mode);
// Why a history record's role was set: "provisional", "final", "ordered change".
std::string historyReasonOf(uint8_t reason);
// "Active" or "Standby" of a stored role.
std::string roleOf(uint8_t role);
// "AC-ON" or "REBOOT" of a stored boot cause.
std::string bootCauseOf(uint8_t cause);

// "YYYY-MM-DD HH:MM:SS UTC" of stored seconds, read unsigned.
std::string utcText(uint32_t seconds);

// A down-info file's first line: "process(NAME:PID) down with status(HEX)".
struct Death {
    std::string module;
    int pid = 0;
    uint32_t status = 0;
};
bool parseDeath(const std::string& line, Death& death);

// The revision the board takes from a revision file (the text after the
// first line's "=", cut to 11 bytes); false when the line holds no "=".
bool revisionOfFile(const uint8_t* data, std::size_t size, std::string& revision);

#endif
