// Host stand-in for the board's message catalogue: the line is the message
// number followed by its arguments.
#include "lmsg.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

namespace {

constexpr int LINE_SIZE = 256;

// A value a text could lie at is one only when the kernel can read a text
// there: access() copies a name in and answers EFAULT when any byte of it
// cannot be read, so a larger integer is never followed into unmapped memory.
bool isReadableText(uintptr_t value)
{
    int saved = errno;
    bool readable = access(reinterpret_cast<const char*>(value), F_OK) == 0 || errno != EFAULT;
    errno = saved;
    return readable;
}

// The board's catalogue knows each message's argument types; callers pass
// either a text or an integer second. This stand-in tells them apart by
// value: no text can lie in the first or the last 64 KiB of a 32-bit
// address space (the kernel maps nothing there), where most integers the
// system traces (errno values, small results) fall.
bool looksLikeInteger(uintptr_t value)
{
    uint32_t low = static_cast<uint32_t>(value);
    uintptr_t high = (value >> 16) >> 16;  // zero on a 32-bit host
    bool extended = high == 0 || high == (UINTPTR_MAX >> 16) >> 16;
    return extended && (low < 0x10000u || low >= 0xFFFF0000u || !isReadableText(value));
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
                               : snprintf(out, LINE_SIZE, "%d %s %.*s", messageNo, text, LINE_SIZE, more);
    }
    return length;
}
