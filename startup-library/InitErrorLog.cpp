#include "InitErrorLog.h"

#include "ByteOrder.h"

#include <sys/time.h>

namespace {

uint8_t unitCodeOf(int unit)
{
    switch (unit) {
    case 0:
        return 0xF0;
    case 2:
        return 0xC2;  // firmware-update records
    default:
        return 0xF1;
    }
}

} // namespace

InitErrorLog::InitErrorLog(int kindValue, int unit, unsigned char c0, unsigned char c1, unsigned char c2,
                           unsigned char c3, unsigned char c4, unsigned char c5) noexcept
    : valid(false), time{0, 0}, kind(static_cast<uint8_t>(kindValue)), unitCode(unitCodeOf(unit)),
      code{c0, c1, c2, c3, c4, c5}
{
    timeval now;
    gettimeofday(&now, nullptr);
    time.seconds = static_cast<int32_t>(now.tv_sec);
    time.microseconds = static_cast<int32_t>(now.tv_usec);
    valid = true;
}

void InitErrorLog::pack(uint8_t out[SAVED_SIZE]) const
{
    putBig32(out, static_cast<uint32_t>(time.seconds));
    putBig32(out + 4, static_cast<uint32_t>(time.microseconds));
    out[8] = kind;
    out[9] = unitCode;
    for (int i = 0; i < CODE_COUNT; ++i)
        out[10 + i] = code[i];
}

void InitErrorLog::unpack(const uint8_t in[SAVED_SIZE])
{
    time.seconds = static_cast<int32_t>(getBig32(in));
    time.microseconds = static_cast<int32_t>(getBig32(in + 4));
    kind = in[8];
    unitCode = in[9];
    for (int i = 0; i < CODE_COUNT; ++i)
        code[i] = in[10 + i];
    valid = true;
}
