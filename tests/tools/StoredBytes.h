// Files as a board stores them, for the decoder's and the timeline's tests.
#ifndef TEST_STORED_BYTES_H
#define TEST_STORED_BYTES_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// An error log record's saved form: seconds and microseconds big-endian,
// kind, unit, the code bytes.
inline Bytes errorLogRecord(uint32_t seconds, uint32_t micros, const Bytes& code, uint8_t kind = 1,
                            uint8_t unit = 0xF0)
{
    Bytes record;
    for (uint32_t word : {seconds, micros})
        for (int shift = 24; shift >= 0; shift -= 8)
            record.push_back(static_cast<uint8_t>(word >> shift));
    record.push_back(kind);
    record.push_back(unit);
    record.insert(record.end(), code.begin(), code.end());
    return record;
}

// A down-info file: its text, then zeros to its 2048 bytes.
inline Bytes downInfoFile(const std::string& text, Bytes bytes = Bytes(2048))
{
    std::copy(text.begin(), text.end(), bytes.begin());
    return bytes;
}

#endif
