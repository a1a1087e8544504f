// The stored forms the decoder reads, and how a file is told to be one:
// from its name (as the board names it) and its content.
#ifndef RECORD_FORM_H
#define RECORD_FORM_H

#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBHistory.h"
#include "InitMMBProcessMGR.h"
#include "NvramLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class RecordForm {
    Partition,      // NVRAM partition 0
    Partition1,     // NVRAM partitions 1 and 2: not interpreted
    Partition2,
    Partition3,     // the NOR NVRAM: its first four bytes
    ErrorLog,
    StartupRecord,
    DownInfo,
    Backtrace,      // the crash backtrace kept beside a down-info file
    RevisionFile,   // opt/mmb/version.dat of a firmware file system
    Marker,         // a marker file the start-up creates or reads
    History,        // the board history, a ring of records
};

// Sizes of the forms. A partition image is cut after the identification
// block at the least; the simulator's partitions hold 4096 bytes.
constexpr std::size_t PARTITION_MIN_SIZE = nvram::ID_OFFSET + nvram::ID_SIZE;
constexpr std::size_t ERROR_LOG_SIZE = InitErrorLog::SAVED_SIZE;
constexpr std::size_t STARTUP_RECORD_SIZE = InitMMBFirm::initError::SIZE;
constexpr std::size_t DOWN_INFO_SIZE = InitMMBProcessMGR::DOWN_INFO_SIZE;
// No form is larger; a bigger input is refused unread.
constexpr std::size_t INPUT_MAX_SIZE = 64 * 1024;

// The name an option or a JSON object gives the form: "partition",
// "error-log", "startup-record", "down-info", ...
const char* formName(RecordForm form);
// What a person calls it: "NVRAM partition 0", ...
const char* formTitle(RecordForm form);
bool formFromName(const std::string& name, RecordForm& form);

// Tells the form of a file whose name says nothing from its size and
// content: 2048 bytes beginning with "process(" a down-info file; never
// other text; a valid first record a board history; 16 bytes an error log
// record, 380 a start-up record, 506 to 65536 with at least half an
// identification block a partition 0 image.
bool detectForm(const uint8_t* data, std::size_t size, RecordForm& form);

// Why the content cannot be the form (a wrong size, or text for a binary
// form when checkText is set); empty when it can.
std::string formProblem(RecordForm form, const uint8_t* data, std::size_t size, bool checkText);
// Why a file whose name says nothing is none of the forms.
std::string unknownForm(const uint8_t* data, std::size_t size);

#endif
