// Decoding of the board's stored forms: bytes in, named fields out. Each
// function takes an input of a size that sizeProblem accepts for its form,
// reads nothing beyond it, and decodes any content.
#ifndef RECORD_DECODER_H
#define RECORD_DECODER_H

#include "DecodedRecord.h"
#include "RecordForm.h"

#include <cstddef>
#include <cstdint>

DecodedRecord decodeRecord(RecordForm form, const uint8_t* data, std::size_t size);

// NVRAM partition 0: header, counters, down log, log count, VLAN mode and
// whether the identification block is valid.
DecodedRecord decodePartition(const uint8_t* data, std::size_t size);
// A 16-byte error log record: its time in UTC, kind, unit, reporter and code bytes.
DecodedRecord decodeErrorLog(const uint8_t* data);
// The 380-byte start-up record ("/tmp/initlog").
DecodedRecord decodeStartupRecord(const uint8_t* data);
// A 2048-byte down-info file: the dead process, its status and the text.
DecodedRecord decodeDownInfo(const uint8_t* data);

#endif
