// The stored forms the decoder reads, and how an input is told to be one.
#ifndef RECORD_FORM_H
#define RECORD_FORM_H

#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitMMBProcessMGR.h"
#include "NvramLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class RecordForm { Partition, ErrorLog, StartupRecord, DownInfo };

// Sizes of the forms. A partition image is cut after the identification
// block at the least; the simulator's partitions hold 4096 bytes.
constexpr std::size_t PARTITION_MIN_SIZE = nvram::ID_OFFSET + nvram::ID_SIZE;
constexpr std::size_t ERROR_LOG_SIZE = InitErrorLog::SAVED_SIZE;
constexpr std::size_t STARTUP_RECORD_SIZE = InitMMBFirm::initError::SIZE;
constexpr std::size_t DOWN_INFO_SIZE = InitMMBProcessMGR::DOWN_INFO_SIZE;
// No form is larger; a bigger input is refused unread.
constexpr std::size_t INPUT_MAX_SIZE = 64 * 1024;

// The name an option or a JSON object gives the form: "partition",
// "error-log", "startup-record", "down-info".
const char* formName(RecordForm form);
// What a person calls it: "NVRAM partition 0", ...
const char* formTitle(RecordForm form);
bool formFromName(const std::string& name, RecordForm& form);

// Tells the form from the size and content: 16 bytes an error log record,
// 380 a start-up record, 2048 beginning with "process(" a down-info file,
// any other size from PARTITION_MIN_SIZE on a partition image.
bool detectForm(const uint8_t* data, std::size_t size, RecordForm& form);
// Why an input of this size cannot be the form; empty when it can.
std::string sizeProblem(RecordForm form, std::size_t size);
// Why an input of this size is none of the forms.
std::string unknownForm(std::size_t size);

#endif
