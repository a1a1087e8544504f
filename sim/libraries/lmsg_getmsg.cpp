// Host stand-in for the board's message catalogue: the line is the message
// number followed by its arguments.
#include "lmsg.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

namespace {

constexpr int LINE_SIZE = 256;

// The board's catalogue knows each message's argument types; callers pass
// either a text or an integer second. This stand-in tells them apart by
// value: no text can lie in the first or the last 64 KiB of a 32-bit
// address space (the kernel maps nothing there), where every integer the
// system traces (errno values, small results) falls.
bool looksLikeInteger(uintptr_t value)
{
    uint32_t low = static_cast<uint32_t>(value);
    uintptr_t high = (value >> 16) >> 16;  // zero on a 32-bit host
    bool extended = high == 0 || high == (UINTPTR_MAX >> 16) >> 16;
    return extended && (low < 0x10000u || low >= 0xFFFF0000u);
}

} // namespace

extern "C" int lmsg_getmsg(int messageNo, char* out, ...)
{
    va_list args;
    va_start(args, out);
    const char* text = va_arg(args, const char*);
    uintptr_t second = va_arg(args, uintptr_t);
    va_end(args);

    if (text == nullptr)
        text = "";
    int length;
    if (looksLikeInteger(second)) {
        length = snprintf(out, LINE_SIZE, "%d %s %d", messageNo, text, static_cast<int32_t>(second));
    } else {
        const char* more = reinterpret_cast<const char*>(second);
        length = *more == '\0' ? snprintf(out, LINE_SIZE, "%d %s", messageNo, text)
                               : snprintf(out, LINE_SIZE, "%d %s %s", messageNo, text, more);
    }
    return length;
}
