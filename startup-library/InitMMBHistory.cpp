// The history's record layout and its reading: pure code, apart from the
// file access (InitMMBHistoryFile.cpp), so that a program reading a history
// links without the library's file and trace classes.
#include "InitMMBHistory.h"

#include "ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int CRC_OFFSET = InitMMBHistory::RECORD_SIZE - 4;

bool olderFirst(const InitMMBHistory::Record& a, const InitMMBHistory::Record& b)
{
    return a.sequence < b.sequence;
}

} // namespace

uint32_t InitMMBHistory::crc32(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void InitMMBHistory::Record::pack(uint8_t out[RECORD_SIZE]) const
{
    memcpy(out, MAGIC, sizeof MAGIC);
    putBig32(out + 4, sequence);
    putBig32(out + 8, seconds);
    const uint8_t bytes[] = {kind,       reason,       role,      bootCause,      mmbId,
                             firmUpMode, currentHcpNo, nextHcpNo, currentBootRom, nextBootRom};
    memcpy(out + 12, bytes, sizeof bytes);
    memcpy(out + 22, currentHcpRev, REV_SIZE);
    memcpy(out + 33, nextHcpRev, REV_SIZE);
    putBig32(out + CRC_OFFSET, crc32(out, CRC_OFFSET));
}

bool InitMMBHistory::Record::unpack(const uint8_t in[RECORD_SIZE])
{
    if (memcmp(in, MAGIC, sizeof MAGIC) != 0 || getBig32(in + CRC_OFFSET) != crc32(in, CRC_OFFSET))
        return false;
    sequence = getBig32(in + 4);
    seconds = getBig32(in + 8);
    kind = in[12];
    reason = in[13];
    role = in[14];
    bootCause = in[15];
    mmbId = in[16];
    firmUpMode = in[17];
    currentHcpNo = in[18];
    nextHcpNo = in[19];
    currentBootRom = in[20];
    nextBootRom = in[21];
    memcpy(currentHcpRev, in + 22, REV_SIZE);
    memcpy(nextHcpRev, in + 33, REV_SIZE);
    return true;
}

InitMMBHistory::Contents InitMMBHistory::read(const uint8_t* data, std::size_t size)
{
    Contents contents;
    size = std::min(size, FILE_MAX_SIZE);
    for (std::size_t offset = 0; offset < size; offset += RECORD_SIZE) {
        Record record;
        if (size - offset >= RECORD_SIZE && record.unpack(data + offset))
            contents.records.push_back(record);
        else
            contents.skippedSlots.push_back(static_cast<int>(offset / RECORD_SIZE));
    }
    std::sort(contents.records.begin(), contents.records.end(), olderFirst);
    return contents;
}

uint32_t InitMMBHistory::nextSequence(const Contents& contents)
{
    return contents.records.empty() ? 0 : contents.records.back().sequence + 1;
}
