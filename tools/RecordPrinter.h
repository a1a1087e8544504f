// The output of a decoded record: a block of "name = value" lines for a
// person, or one JSON object on one line for a script.
#ifndef RECORD_PRINTER_H
#define RECORD_PRINTER_H

#include "DecodedRecord.h"
#include "RecordForm.h"

#include <string>

// "SOURCE: TITLE" and the fields, indented, with values in one column.
std::string recordText(const std::string& source, RecordForm form, const DecodedRecord& record);
// {"file":SOURCE,"form":NAME, then the fields} and a line feed.
std::string recordJson(const std::string& source, RecordForm form, const DecodedRecord& record);

// A file skipped for having no known form: "SOURCE: skipped" and its reason.
std::string skippedText(const std::string& source, const std::string& reason);
// {"file":SOURCE,"form":"skipped","reason":REASON} and a line feed.
std::string skippedJson(const std::string& source, const std::string& reason);

#endif
